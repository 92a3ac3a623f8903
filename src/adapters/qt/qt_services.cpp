#include "adapters/qt/qt_services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include "adapters/qt/qt_text.h"
#include "core/update/version_record.h"

namespace vennadar {

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
        return box.exec() == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
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
    const QString path =
        QFileDialog::getSaveFileName(parent, QString(), GbkToQString(proposed_name), filter);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path.toStdString();
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
