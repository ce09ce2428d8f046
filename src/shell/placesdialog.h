#pragma once

#include <QDialog>

class HarvestPresenter;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Places": one search string asked once for every place of a list (towns, districts,
// postal codes; one a line, typed or loaded from a file), each then a search string of its
// own with its own queue. Opened from File > Places…; Add Searches adds them and closes.
class PlacesDialog : public QDialog
{
    Q_OBJECT
public:
    // presenter (not owned) must outlive the dialog. The search string starts as the text
    // typed as a new search string, else the selected one.
    explicit PlacesDialog(HarvestPresenter *presenter, QWidget *parent = nullptr);

    // Reads a list of places into the list (as File… does once a file is picked); false
    // with the reason shown in the dialog when it cannot.
    bool loadFile(const QString &path);

private:
    void refresh();
    void addSearches();

    HarvestPresenter *m_presenter;
    QLineEdit *m_search = nullptr;
    QPlainTextEdit *m_places = nullptr;
    QLabel *m_summary = nullptr;
    QPushButton *m_add = nullptr;
};
