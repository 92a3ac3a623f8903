#pragma once

namespace vennadar {

// The program's text size, one for every window, in percent of the desktop's font size.
class Zoom {
  public:
    virtual ~Zoom() = default;
    virtual int Percent() const = 0;
    // Takes the size (one of kZoomSteps) at once in every window and keeps it for the next run.
    virtual void SetPercent(int percent) = 0;
};

}  // namespace vennadar
