#include "datefilteredit.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QToolButton>
#include <QWidgetAction>

namespace {
const QString kIsoDay = QStringLiteral("yyyy-MM-dd");
const QString kHint =
    QStringLiteral("Type a day as 2026-12-11 or pick one; leave it empty for any day");
} // namespace

DateFilterEdit::DateFilterEdit(QWidget *parent) : QWidget(parent)
{
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("dateText"));
    m_text->setPlaceholderText(QStringLiteral("Any"));
    m_text->setClearButtonEnabled(true);
    m_text->setToolTip(kHint);
    // As wide as a day and the clear button.
    m_text->setMinimumWidth(m_text->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) +
                            48);

    m_calendar = new QCalendarWidget(this);
    m_calendar->setObjectName(QStringLiteral("calendar"));
    m_calendar->setGridVisible(true);
    m_menu = new QMenu(this);
    auto *calendarAction = new QWidgetAction(m_menu);
    calendarAction->setDefaultWidget(m_calendar);
    m_menu->addAction(calendarAction);
    QAction *any = m_menu->addAction(QStringLiteral("Any day"));
    any->setObjectName(QStringLiteral("anyDay"));

    m_button = new QToolButton(this);
    m_button->setObjectName(QStringLiteral("calendarButton"));
    m_button->setText(QStringLiteral("…"));
    m_button->setToolTip(QStringLiteral("Pick a day"));
    m_button->setMenu(m_menu);
    m_button->setPopupMode(QToolButton::InstantPopup);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_button);
    setFocusProxy(m_text);

    connect(m_text, &QLineEdit::editingFinished, this, &DateFilterEdit::takeText);
    // The clear button, or the text deleted: any day at once.
    connect(m_text, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text.isEmpty()) {
            setInvalid(false);
            setDate(QDate());
        }
    });
    connect(m_menu, &QMenu::aboutToShow, this, &DateFilterEdit::prepareCalendar);
    connect(m_calendar, &QCalendarWidget::clicked, this, [this](const QDate &day) {
        m_menu->close();
        setDate(day);
    });
    connect(any, &QAction::triggered, this, [this] { setDate(QDate()); });
}

QDate DateFilterEdit::parse(const QString &text, bool *ok)
{
    const QString t = text.trimmed();
    *ok = true;
    if (t.isEmpty() || t.compare(QLatin1String("Any"), Qt::CaseInsensitive) == 0)
        return QDate();
    for (const QString &format : {kIsoDay, QStringLiteral("yyyy-M-d"), QStringLiteral("yyyyMMdd"),
                                  QStringLiteral("yyyy/M/d")}) {
        const QDate day = QDate::fromString(t, format);
        if (day.isValid())
            return day;
    }
    *ok = false;
    return QDate();
}

void DateFilterEdit::setDate(const QDate &day)
{
    const QDate d = day.isValid() ? day : QDate();
    const QString shown = d.isValid() ? d.toString(kIsoDay) : QString();
    if (m_text->text() != shown) {
        const QSignalBlocker block(m_text);
        m_text->setText(shown);
    }
    setInvalid(false);
    if (d == m_date)
        return;
    m_date = d;
    Q_EMIT dateChanged(m_date);
}

void DateFilterEdit::takeText()
{
    bool ok = false;
    const QDate day = parse(m_text->text(), &ok);
    if (!ok) {
        setInvalid(true);
        return;
    }
    setDate(day);
}

void DateFilterEdit::setInvalid(bool invalid)
{
    if (m_invalid == invalid)
        return;
    m_invalid = invalid;
    QPalette p = m_text->palette();
    p.setColor(QPalette::Text,
               invalid ? QColor(0xB0, 0x1C, 0x1C) : palette().color(QPalette::Text));
    m_text->setPalette(p);
    m_text->setToolTip(invalid ? QStringLiteral("Not a day. ") + kHint : kHint);
}

void DateFilterEdit::prepareCalendar()
{
    const QDate start = m_date.isValid()            ? m_date
                        : m_calendarStart.isValid() ? m_calendarStart
                                                    : QDate::currentDate();
    m_calendar->setSelectedDate(start);
    m_calendar->setCurrentPage(start.year(), start.month());
}
