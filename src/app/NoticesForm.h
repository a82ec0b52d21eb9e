// The legal notices of the open-source libraries the program ships with, read from the text
// compiled in as ":/art/notices.txt".
#pragma once

#include <QDialog>

class QPlainTextEdit;

class TNoticesForm : public QDialog {
    Q_OBJECT

public:
    explicit TNoticesForm(QWidget* owner);

    QString Text() const;

private:
    QPlainTextEdit* m_text;
};
