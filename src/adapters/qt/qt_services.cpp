#include "adapters/qt/qt_services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include "adapters/qt/caption.h"
#include "adapters/qt/qt_text.h"
#include "core/update/version_record.h"

namespace vennadar {
namespace {

// Runs a modal dialog and asks for the window it came from to be active again as soon as the
// dialog is gone, unless another dialog has come meanwhile. Left to the window manager, the
// activation may come late, after the user's next key: a menu opened by that key is then shut as
// the window is activated under it.
int RunModal(QDialog& dialog) {
    const QPointer<QWidget> came_from = QApplication::activeWindow();
    const int result = dialog.exec();
    if (came_from != nullptr) {
        QTimer::singleShot(0, came_from.data(), [came_from] {
            QWidget* modal = QApplication::activeModalWidget();
            if (came_from->isVisible() && !came_from->isActiveWindow() &&
                (modal == nullptr || modal == came_from->window())) {
                came_from->activateWindow();
            }
        });
    }
    return result;
}

}  // namespace

int QtDialogs::ShowMessage(const Text& text, const Text& title, int style) {
    QMessageBox box(parent_);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setWindowTitle(GbkToQString(title));
    box.setText(GbkToQString(text));
    switch (style & 0xF0) {
        case kStyleErrorIcon:
            box.setIcon(QMessageBox::Critical);
            break;
        case kStyleQuestionIcon:
            box.setIcon(QMessageBox::Question);
            break;
        case kStyleWarningIcon:
            box.setIcon(QMessageBox::Warning);
            break;
        case kStyleInformationIcon:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    if ((style & 0x0F) == kStyleYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton((style & kStyleDefaultSecond) != 0 ? QMessageBox::No
                                                                : QMessageBox::Yes);
        NameByCaptions(&box);
        return RunModal(box) == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    NameByCaptions(&box);
    RunModal(box);
    return kAnswerOk;
}

std::optional<std::string> QtDialogs::AskSavePath(const Text& proposed_name,
                                                  const Text& filter_description,
                                                  const std::string& filter_pattern) {
    const QString filter = GbkToQString(filter_description) + QStringLiteral(" (") +
                           QString::fromStdString(filter_pattern) + QLatin1Char(')');
    QWidget* parent = QApplication::activeModalWidget() != nullptr
                          ? QApplication::activeModalWidget()
                          : parent_.data();
    // Qt's own dialog, never the desktop's: its texts follow the program's translation and its
    // controls are named for a screen reader.
    QFileDialog dialog(parent, QString(), GbkToQString(proposed_name), filter);
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    NameByCaptions(&dialog);
    if (RunModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst().toStdString();
}

void QtDesktop::OpenUrl(const std::string& address) {
    // Platforms without desktop services (offscreen, bare X servers) decline; xdg-open is what
    // the desktop services would have run.
    if (!QDesktopServices::openUrl(QUrl(QString::fromStdString(address), QUrl::TolerantMode))) {
        StartProgram("xdg-open", {address});
    }
}

bool QtDesktop::StartProgram(const std::string& program, const std::vector<std::string>& args) {
    QStringList arguments;
    for (const std::string& arg : args) {
        arguments << QString::fromStdString(arg);
    }
    return QProcess::startDetached(QString::fromStdString(program), arguments);
}

std::string QtDesktop::ProgramDirectory() {
    return QCoreApplication::applicationDirPath().toStdString();
}

std::string QtDesktop::ExecutablePath() {
    return OwnExecutablePath();
}

}  // namespace vennadar
