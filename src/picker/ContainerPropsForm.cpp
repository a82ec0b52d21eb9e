#include "picker/ContainerPropsForm.h"

#include <charconv>

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include "common/ApiBoundary.h"
#include "common/Assert.h"
#include "common/Exceptions.h"
#include "host/MediaItem.h"
#include "picker/MyMediaItem.h"
#include "picker/PropsFormSupport.h"
#include "picker/Utilities.h"
#include "picker/ViewSupport.h"

using namespace PropsForm;

namespace {

constexpr int c_ClientWidthPx = 388;
constexpr int c_ClientHeightPx = 152;
constexpr int c_CaptionXPx = 7;
constexpr int c_ValueXPx = 64;
constexpr int c_ValueWidthPx = 310;
constexpr int c_TickMs = 25;
constexpr char c_CountingPrefix[] = QT_TRANSLATE_NOOP("TContainerProps", "Calculating... ");

// The whole text as a decimal integer; anything else counts as 0.
double SizeOf(const std::string& text)
{
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? static_cast<double>(value) : 0;
}

} // namespace

TContainerProps::TContainerProps(QWidget* parent, MyMediaItem& item)
    : QDialog(parent), m_Item(std::make_unique<MediaItem>(item.Url()))
{
    setObjectName("ContainerProps");
    SetUpDialog(*this, c_ClientWidthPx, c_ClientHeightPx);
    ContainerPropsLocationLabel
        = FixedLabel(this, "ContainerPropsLocationLabel", tr("Location:"), c_CaptionXPx, 13, 55);
    ContainerPropsLocation = FixedLabel(this, "ContainerPropsLocation", QString(), c_ValueXPx, 13, c_ValueWidthPx);
    ContainerPropsSizeLabel = FixedLabel(this, "ContainerPropsSizeLabel", tr("Size:"), c_CaptionXPx, 37, 55);
    ContainerPropsSize = FixedLabel(this, "ContainerPropsSize", QString(), c_ValueXPx, 37, c_ValueWidthPx);
    ContainerPropsContainsLabel
        = FixedLabel(this, "ContainerPropsContainsLabel", tr("Contains:"), c_CaptionXPx, 61, 55);
    ContainerPropsContains = FixedLabel(this, "ContainerPropsContains", QString(), c_ValueXPx, 61, c_ValueWidthPx);
    ContainerPropsCreatedLabel = FixedLabel(this, "ContainerPropsCreatedLabel", tr("Created:"), c_CaptionXPx, 85, 55);
    ContainerPropsCreated = FixedLabel(this, "ContainerPropsCreated", QString(), c_ValueXPx, 85, c_ValueWidthPx);
    Button1 = CloseButton(*this, 304, 122);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    connect(Timer1, &QTimer::timeout, this, &TContainerProps::Timer1Timer);
    Timer1->start(c_TickMs);
}

// The enumerator goes before the item it was built over.
TContainerProps::~TContainerProps()
{
    m_enumerator.reset();
}

void TContainerProps::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_shown && !event->spontaneous()) {
        m_shown = true;
        FormShow();
    }
}

void TContainerProps::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TContainerProps::FormShow()
{
    Guarded([&] {
        try {
            LUMO_ASSERT(IsBroken(*m_Item) || m_Item->IsContainer());
        } catch (const LumoAssertException&) {
        }
        setWindowTitle(Caption(m_Item->Property("Title"), QT_TRANSLATE_NOOP("PropsForm", "Container")));
        const QString location = QString::fromStdString(m_Item->Property("SourceLocation"));
        ContainerPropsLocation->setText(
            ValueText(ShortenPath(location, ContainerPropsLocation->fontMetrics(), ContainerPropsLocation->width())
                          .toStdString()));
        ContainerPropsCreated->setText(ValueText(FormatDate(m_Item->Property("CreationDate"))));
        ContainerPropsSize->clear();
        ContainerPropsContains->clear();
        try {
            m_enumerator = std::make_unique<Container>(m_Item->Url());
        } catch (...) {
            // Nothing to count: a broken item, or one the assertion above let through.
            ContainerPropsSize->setText(ValueText(std::string()));
            ContainerPropsContains->setText(ValueText(std::string()));
            NameValuesForScreenReaders(*this);
            return;
        }
        m_FolderCount = m_FileCount = 0;
        m_FolderBytes = m_FileBytes = 0;
        m_FirstStep = true;
        m_Counting = true;
        NameValuesForScreenReaders(*this);
    });
}

void TContainerProps::FormClose()
{
    m_Counting = false;
    Timer1->stop();
    m_enumerator.reset();
}

void TContainerProps::Timer1Timer()
{
    if (!m_Counting || !m_enumerator)
        return;
    try {
        LumoApi::ApiRef<LumoApi::UrlApi> child;
        try {
            const bool first = m_FirstStep;
            m_FirstStep = false;
            child = first ? m_enumerator->GetFirst() : m_enumerator->GetNext();
        } catch (...) {
            // An enumeration that failed would fail again on every tick and never let the
            // count end; what was counted so far is shown as the result.
            FinishCount();
            return;
        }
        if (!child) {
            FinishCount();
            return;
        }
        // A child that cannot be read is left out; the count goes on with the next.
        try {
            MediaItem media(child);
            const double bytes = SizeOf(media.Property("SourceSize"));
            if (media.IsContainer()) {
                ++m_FolderCount;
                m_FolderBytes += bytes;
            } else {
                ++m_FileCount;
                m_FileBytes += bytes;
            }
        } catch (...) {
        }
        UpdateDisplay();
    } catch (...) {
    }
}

void TContainerProps::FinishCount()
{
    m_Counting = false;
    UpdateDisplay();
    m_enumerator.reset();
    Timer1->stop();
}

void TContainerProps::UpdateDisplay()
{
    const QString prefix = m_Counting ? tr(c_CountingPrefix) : QString();
    ContainerPropsContains->setText(prefix
        + tr("%1, %2").arg(tr("%n Files", nullptr, int(m_FileCount)), tr("%n Folders", nullptr, int(m_FolderCount))));
    ContainerPropsSize->setText(prefix + QString::fromStdString(FormatSize(m_FolderBytes + m_FileBytes)));
    NameValuesForScreenReaders(*this);
}

std::string ContainerSummary(MyMediaItem& item)
{
    // The tip has no place to show an error; it is left as the last error instead.
    return ApiBoundary(std::string(), [&] {
        MediaItem& media = item.Item();
        if (!media.IsContainer() && !IsBroken(media))
            return std::string();
        return media.Property("SourceLocation");
    });
}
