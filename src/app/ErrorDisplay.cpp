#include "app/ErrorDisplay.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "platform/MessageBox.h"

using namespace Platform;

namespace {

using ButtonAnswer = std::pair<QMessageBox::StandardButton, int>;

std::vector<ButtonAnswer> ButtonsOf(uint32_t style)
{
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNOCANCEL:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL:
        return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

QMessageBox::Icon IconOf(uint32_t style)
{
    switch (style & MB_ICONMASK) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int ShowDialog(const char* text, const char* caption, uint32_t style)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(application) || QThread::currentThread() != application->thread()) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        std::fflush(stderr);
        return DefaultButton(style);
    }
    QMessageBox box(IconOf(style), QString::fromUtf8(caption), QString::fromUtf8(text), QMessageBox::NoButton,
        QApplication::activeWindow());
    const std::vector<ButtonAnswer> buttons = ButtonsOf(style);
    int cancelAnswer = 0;
    for (const ButtonAnswer& button : buttons) {
        QPushButton* added = box.addButton(button.first);
        if (button.second == DefaultButton(style))
            box.setDefaultButton(added);
        if (button.second == IDCANCEL)
            cancelAnswer = IDCANCEL;
    }
    if (style & MB_TOPMOST)
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    for (const ButtonAnswer& button : buttons) {
        if (box.clickedButton() == box.button(button.first))
            return button.second;
    }
    // Closed without a button: what Escape would have chosen.
    return cancelAnswer ? cancelAnswer : DefaultButton(style);
}

} // namespace

void InstallMessageBoxHandler()
{
    SetMessageBoxHandler(ShowDialog);
}

void ShowException(const std::exception& error)
{
    std::string text = error.what();
    // Messages are kept without their full stop; a sentence on its own gets one back.
    if (!text.empty() && text.back() != '.')
        text += '.';
    const std::string caption = QCoreApplication::applicationName().toStdString();
    ShowMessageBox(text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

void ShowUnknownException()
{
    ShowException(std::runtime_error("An unknown error has occurred"));
}
