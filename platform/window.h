// The canvas window: an SDL window on a thread of its own that shows a Canvas.
//
// open() starts the window thread, which opens a window as large as the display's usable
// area, black, and returns once the window is shown. The thread repaints the changed
// regions of the canvas at display rate under the canvas lock; keys and clicks in the
// window are ignored. Closing the window, or losing the display altogether, marks the
// canvas dead: the program runs on and its drawing is dropped.
//
// With no display, open() writes "Window creation failed" to standard error and returns
// nullptr.
#pragma once

#include <memory>
#include <string>

namespace som {

class Canvas;

class Window {
public:
    static std::unique_ptr<Window> open(const std::string& program);

    virtual ~Window() = default;
    virtual Canvas& canvas() = 0;
    // The title becomes "program — activity".
    virtual void show_activity(const std::string& activity) = 0;
    // Takes the window down now (the run-time error path); drawing is dropped afterwards.
    virtual void close() = 0;
};

}  // namespace som
