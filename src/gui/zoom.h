#pragma once

#include <QRect>
#include <QScrollArea>
#include <QSize>
#include <functional>

class QMainWindow;
class QWidget;

namespace vennadar {

class Notice;
class Zoom;

// Where each control sits at 100 % with the font the windows were designed for.
void PlaceControl(QWidget* control, QRect design_rect);

// How much larger than designed the controls of `client` must be drawn: the client's font against
// the design font, and further where a caption would not fit its control (a desktop font wider
// than the design font).
double ControlScale(const QWidget* client);

// A window's client area laid out at design sizes. Whenever the text size changes it scales the
// controls placed with PlaceControl, grows or shrinks the window up to the screen's available
// area, and scrolls beyond it, keeping the focused control in view.
class ScaledClient final : public QScrollArea {
  public:
    ScaledClient(QMainWindow* window, QSize design_window_size, QSize design_client_size);

    QWidget* Client() const { return client_; }
    // Lays the controls out for the current font; the window itself runs it on every change.
    void Relayout();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FitToScreen();

    QMainWindow* window_;
    QWidget* client_;
    QSize design_window_size_;
    QSize design_client_size_;
    double scale_ = 0;
    bool fitted_framed_ = false;
};

// Ctrl+Plus (Ctrl+= and the keypad's + too), Ctrl+Minus and Ctrl+0 as the window's shortcuts,
// and Ctrl+wheel over any of its controls, taken before the control sees it: `step` gets +1,
// -1 or 0 (back to 100 %).
void InstallZoomInput(QMainWindow* window, std::function<void(int)> step);

// One such step of the program's text size, then the new size said once ("字号 150%"). Nothing
// without a zoom service.
void StepZoom(Zoom* zoom, int direction, Notice& notice);

}  // namespace vennadar
