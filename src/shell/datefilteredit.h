#pragma once

#include <QDate>
#include <QWidget>

class QCalendarWidget;
class QLineEdit;
class QMenu;
class QToolButton;

// A day to filter by, or none ("Any"): typed as 2026-12-11 (Enter or leaving the field takes
// it; an empty field is any day) or picked from a calendar that opens on the day shown, else
// on a day given (the newest number's). Text that is no day is marked and changes nothing.
class DateFilterEdit : public QWidget
{
    Q_OBJECT
public:
    explicit DateFilterEdit(QWidget *parent = nullptr);

    // The day; null: any day.
    QDate date() const { return m_date; }
    // Sets the day (null: any day); dateChanged() when it changes.
    void setDate(const QDate &day);
    // The month the calendar opens on while no day is set.
    void setCalendarStart(const QDate &day) { m_calendarStart = day; }
    QDate calendarStart() const { return m_calendarStart; }
    // The text typed is no day (it is shown marked, and the day stays as it was).
    bool hasInvalidText() const { return m_invalid; }

    // A day as the field shows and reads it; null for the empty text or "Any".
    static QDate parse(const QString &text, bool *ok);

Q_SIGNALS:
    void dateChanged(const QDate &day);

private:
    void takeText();
    void prepareCalendar();
    void setInvalid(bool invalid);

    QLineEdit *m_text;
    QToolButton *m_button;
    QMenu *m_menu;
    QCalendarWidget *m_calendar;
    QDate m_date;
    QDate m_calendarStart;
    bool m_invalid = false;
};
