#include "app/NoticesForm.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/Artwork.h"

namespace {

constexpr int c_widthPx = 385;
constexpr int c_heightPx = 267;

QString ReadNotices()
{
    InitArtwork();
    QFile file(":/art/notices.txt");
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

} // namespace

TNoticesForm::TNoticesForm(QWidget* owner) : QDialog(owner)
{
    setObjectName("NoticesForm");
    setWindowTitle(tr("Legal Notices"));
    setModal(true);
    setFixedSize(c_widthPx, c_heightPx);

    m_text = new QPlainTextEdit(this);
    m_text->setGeometry(6, 6, 373, 217);
    m_text->setReadOnly(true);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Paragraphs are stored unwrapped and wrap to the box, which has no horizontal scroll bar.
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text->setPlainText(ReadNotices());

    auto* close = new QPushButton(tr("Close"), this);
    close->setGeometry((c_widthPx - 80) / 2, 234, 80, 22);
    close->setDefault(true);
    // Escape rejects the dialog already, so Close is the cancel button too.
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

QString TNoticesForm::Text() const
{
    return m_text->toPlainText();
}
