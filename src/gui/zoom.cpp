#include "gui/zoom.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QShortcut>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/ports/zoom.h"
#include "core/settings/zoom.h"
#include "gui/screen_reader.h"

namespace vennadar {
namespace {

constexpr char kDesignRect[] = "vennadarDesignRect";
// The windows were laid out for Qt's own default font, 9 points.
constexpr double kDesignPointSize = 9.0;
// Room a caption needs beside its text inside a control: a button's frame and margins.
constexpr int kButtonPadding = 8;
// A row's icon at the design font: the style's small icon.
constexpr int kDesignIconSize = 16;
// Long enough for the screen reader to take the notice, short enough not to hang on a control.
constexpr int kZoomNoticeMs = 1500;

int Scaled(int value, double scale) {
    return static_cast<int>(std::lround(value * scale));
}

QRect Scaled(const QRect& rect, double scale) {
    return {Scaled(rect.x(), scale), Scaled(rect.y(), scale), Scaled(rect.width(), scale),
            Scaled(rect.height(), scale)};
}

// The width and height a control's caption needs at the client's font.
QSize CaptionSize(const QWidget* control) {
    QString caption;
    int padding = 0;
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        caption = button->text();
        padding = kButtonPadding;
    } else if (const auto* label = qobject_cast<const QLabel*>(control)) {
        caption = label->text();
    }
    if (caption.isEmpty()) {
        return {};
    }
    const QFontMetrics metrics = control->fontMetrics();
    caption.remove(QLatin1Char('&'));  // the marker is drawn as an underline, not a character
    return {metrics.horizontalAdvance(caption) + padding, metrics.height() + padding / 2};
}

class ZoomWheel final : public QObject {
  public:
    ZoomWheel(QMainWindow* window, std::function<void(int)> step)
        : QObject(window), window_(window), step_(std::move(step)) {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel || !watched->isWidgetType() ||
            static_cast<QWidget*>(watched)->window() != window_) {
            return false;
        }
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (!wheel->modifiers().testFlag(Qt::ControlModifier)) {
            return false;
        }
        // A touchpad sends many small turns; one step per notch's worth.
        pending_ += wheel->angleDelta().y();
        while (std::abs(pending_) >= QWheelEvent::DefaultDeltasPerStep) {
            const int direction = pending_ > 0 ? 1 : -1;
            pending_ -= direction * QWheelEvent::DefaultDeltasPerStep;
            step_(direction);
        }
        return true;
    }

  private:
    QMainWindow* window_;
    std::function<void(int)> step_;
    int pending_ = 0;
};

}  // namespace

void PlaceControl(QWidget* control, QRect design_rect) {
    control->setProperty(kDesignRect, design_rect);
    control->setGeometry(design_rect);
}

double ControlScale(const QWidget* client) {
    const QFontInfo font(client->font());
    double scale = font.pointSizeF() / kDesignPointSize;
    for (const QWidget* control : client->findChildren<QWidget*>()) {
        const QRect design = control->property(kDesignRect).toRect();
        const QSize caption = CaptionSize(control);
        if (design.isEmpty() || caption.isEmpty()) {
            continue;
        }
        scale = std::max({scale, static_cast<double>(caption.width()) / design.width(),
                          static_cast<double>(caption.height()) / design.height()});
    }
    return scale;
}

ScaledClient::ScaledClient(QMainWindow* window, QSize design_window_size, QSize design_client_size)
    : QScrollArea(window),
      window_(window),
      client_(new QWidget),
      design_window_size_(design_window_size),
      design_client_size_(design_client_size) {
    setObjectName(QStringLiteral("clientArea"));
    setFrameShape(QFrame::NoFrame);
    // Only the controls take the focus; the scroll bars follow it.
    setFocusPolicy(Qt::NoFocus);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFixedSize(design_client_size_);
    client_->installEventFilter(this);
    window->installEventFilter(this);
    setWidget(client_);
    window->setCentralWidget(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now != nullptr && client_->isAncestorOf(now)) {
            ensureWidgetVisible(now, 0, 0);
        }
    });
}

void ScaledClient::Relayout() {
    const double scale = ControlScale(client_);
    if (scale == scale_) {
        return;
    }
    scale_ = scale;
    for (QWidget* control : client_->findChildren<QWidget*>()) {
        const QRect design = control->property(kDesignRect).toRect();
        if (!design.isEmpty()) {
            control->setGeometry(Scaled(design, scale));
        }
    }
    // Icons beside a list's rows (the read and new marks) grow with the text too.
    for (QAbstractItemView* view : client_->findChildren<QAbstractItemView*>()) {
        view->setIconSize(QSize(Scaled(kDesignIconSize, scale), Scaled(kDesignIconSize, scale)));
    }
    client_->setFixedSize(Scaled(design_client_size_.width(), scale),
                          Scaled(design_client_size_.height(), scale));

    FitToScreen();
    if (QWidget* focused = QApplication::focusWidget();
        focused != nullptr && client_->isAncestorOf(focused)) {
        ensureWidgetVisible(focused, 0, 0);
    }
}

void ScaledClient::FitToScreen() {
    QSize size(Scaled(design_window_size_.width(), scale_),
               Scaled(design_window_size_.height(), scale_));
    const QScreen* screen = window_->screen();
    if (screen == nullptr) {
        window_->resize(size);
        return;
    }
    // The frame the window manager draws is outside the window's size; it is known once the
    // window has been shown.
    if (scale_ <= 1) {
        window_->resize(size);  // as designed, where the window was placed
        return;
    }
    const QRect available = screen->availableGeometry();
    const QSize frame = window_->frameGeometry().size() - window_->geometry().size();
    size = size.boundedTo(available.size() - frame);
    window_->resize(size);
    const QSize outer = size + frame;
    QPoint at = window_->pos();
    at.setX(std::clamp(at.x(), available.left(),
                       std::max(available.left(), available.right() + 1 - outer.width())));
    at.setY(std::clamp(at.y(), available.top(),
                       std::max(available.top(), available.bottom() + 1 - outer.height())));
    window_->move(at);
}

bool ScaledClient::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::FontChange) {
        Relayout();
    } else if (watched == window_ && event->type() == QEvent::WindowActivate && !fitted_framed_) {
        // First shown with its frame: fitted again, now that the frame's size is known.
        fitted_framed_ = true;
        if (scale_ > 1) {
            FitToScreen();
        }
    }
    return QScrollArea::eventFilter(watched, event);
}

void InstallZoomInput(QMainWindow* window, std::function<void(int)> step) {
    const struct {
        QList<QKeySequence> keys;
        int direction;
    } bindings[] = {
        {{QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal),
          QKeySequence(Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_Plus)},
         1},
        {{QKeySequence(Qt::CTRL | Qt::Key_Minus),
          QKeySequence(Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_Minus)},
         -1},
        {{QKeySequence(Qt::CTRL | Qt::Key_0),
          QKeySequence(Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_0)},
         0},
    };
    for (const auto& binding : bindings) {
        auto* shortcut = new QShortcut(window);
        shortcut->setKeys(binding.keys);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window,
                         [step, direction = binding.direction] { step(direction); });
    }
    new ZoomWheel(window, std::move(step));
}

void StepZoom(Zoom* zoom, int direction, Notice& notice) {
    if (zoom == nullptr) {
        return;
    }
    zoom->SetPercent(SteppedZoom(zoom->Percent(), direction));
    // Said at the ends too, so a key that changes nothing still tells the size.
    notice.Show(QStringLiteral("字号 %1%").arg(zoom->Percent()), kZoomNoticeMs);
}

}  // namespace vennadar
