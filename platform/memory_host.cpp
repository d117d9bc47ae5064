#include "platform/memory_host.h"


namespace som {

MemoryHost::MemoryHost(Settings settings) : settings_(std::move(settings)) {}

Canvas* MemoryHost::open_canvas() {
    canvas_ = std::make_unique<Canvas>(settings_.width, settings_.height);
    return canvas_.get();
}

void MemoryHost::read_line() {
    ++pauses_;
    if (settings_.on_pause && canvas_) settings_.on_pause(*canvas_, pauses_);
}

bool MemoryHost::key_pressed() { return ++key_polls_ >= settings_.keys_after; }

void MemoryHost::delay(std::uint16_t ms) {
    ++delays_;
    delayed_ms_ += ms;
    if (settings_.on_delay && canvas_) settings_.on_delay(*canvas_, ms);
}

std::uint32_t MemoryHost::clock_tick() {
    return settings_.seed ? *settings_.seed : millisecond_tick();
}

}  // namespace som
