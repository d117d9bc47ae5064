// A host without a window or a terminal: the canvas is an in-memory image, DELAY does not
// sleep, and a pause does not wait but hands the canvas as it stands to a callback. The
// generator is seeded with a fixed value, or from the clock when none is given. KEYPRESSED
// first reports a key at its keys_after-th call and keeps reporting it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/canvas.h"
#include "platform/host.h"

namespace som {

class MemoryHost final : public Host {
public:
    struct Settings {
        int width = 800;
        int height = 800;
        std::optional<std::uint32_t> seed;
        std::uint64_t keys_after = 100000;
        // Called at every pause with the canvas and the pause's number, from 1.
        std::function<void(const Canvas&, int)> on_pause;
        // Called at every DELAY with the canvas (the frames of an animation).
        std::function<void(const Canvas&, std::uint16_t)> on_delay;
    };

    explicit MemoryHost(Settings settings);

    Canvas* open_canvas() override;
    void read_line() override;
    bool key_pressed() override;
    void delay(std::uint16_t ms) override;
    std::uint32_t clock_tick() override;

    Canvas* canvas() { return canvas_.get(); }
    int pauses() const { return pauses_; }
    std::uint64_t key_polls() const { return key_polls_; }
    std::uint64_t delays() const { return delays_; }
    std::uint64_t delayed_ms() const { return delayed_ms_; }

private:
    Settings settings_;
    std::unique_ptr<Canvas> canvas_;
    int pauses_ = 0;
    std::uint64_t key_polls_ = 0;
    std::uint64_t delays_ = 0;
    std::uint64_t delayed_ms_ = 0;
};

}  // namespace som
