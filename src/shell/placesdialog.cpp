#include "placesdialog.h"

#include "filedialogs.h"
#include "harvestpresenter.h"
#include "openstore.h"
#include "searchplaces.h"
#include "textlist.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

PlacesDialog::PlacesDialog(HarvestPresenter *presenter, QWidget *parent)
    : QDialog(parent), m_presenter(presenter)
{
    setObjectName(QStringLiteral("frmPlaces"));
    setWindowTitle(QStringLiteral("Places"));

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("txtPlacesSearch"));
    QString search = presenter->newSearchText().trimmed();
    if (search.isEmpty()) {
        const TextList *list = presenter->searches();
        search = list->item(list->selectedRow());
    }
    m_search->setText(search);
    m_search->setPlaceholderText(QStringLiteral("plumber"));

    m_places = new QPlainTextEdit(this);
    m_places->setObjectName(QStringLiteral("txtPlaces"));
    m_places->setPlaceholderText(QStringLiteral("Springfield\nShelbyville\n62704"));
    m_places->setTabChangesFocus(true);

    auto *load = new QPushButton(QStringLiteral("&File…"), this);
    load->setObjectName(QStringLiteral("cmdPlacesFile"));
    load->setToolTip(QStringLiteral("Read the places from a text file, one a line"));
    connect(load, &QPushButton::clicked, this, [this] {
        const QString path = FileDialogs::openFileName(
            this, QStringLiteral("Places"), QString(),
            QStringLiteral("Lists of places (*.txt *.csv);;All files (*)"));
        if (!path.isEmpty())
            (void)loadFile(path);
    });

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("lblPlacesSummary"));
    m_summary->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_add = buttons->addButton(QStringLiteral("&Add Searches"), QDialogButtonBox::AcceptRole);
    m_add->setObjectName(QStringLiteral("cmdAddPlaces"));
    buttons->addButton(load, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &PlacesDialog::addSearches);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Search string:"), m_search);
    auto *placesCaption =
        new QLabel(QStringLiteral("&Places, one a line (towns, districts, postal codes):"), this);
    placesCaption->setBuddy(m_places);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(placesCaption);
    layout->addWidget(m_places, 1);
    layout->addWidget(m_summary);
    layout->addWidget(buttons);

    connect(m_search, &QLineEdit::textChanged, this, &PlacesDialog::refresh);
    connect(m_places, &QPlainTextEdit::textChanged, this, &PlacesDialog::refresh);
    refresh();
    resize(420, 360);
}

bool PlacesDialog::loadFile(const QString &path)
{
    auto refuse = [this, &path](const QString &why) {
        m_summary->setText(QStringLiteral("The file %1 cannot be read: %2").arg(path, why));
        return false;
    };
    // The store's own files are never opened: closing the handle would drop its locks.
    if (StoreLocation::isStoreFile(path, m_presenter->store()->location()))
        return refuse(QStringLiteral("it is the fax database or one of its working files."));
    if (!QFileInfo(path).isFile())
        return refuse(QStringLiteral("it is not a file."));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    const SearchPlaces::Result read =
        SearchPlaces::parse(file.read(SearchPlaces::MaxFileBytes + 1));
    if (!read.error.isEmpty())
        return refuse(read.error + QLatin1Char('.'));
    m_places->setPlainText(read.places.join(QLatin1Char('\n')));
    return true;
}

void PlacesDialog::refresh()
{
    const SearchPlaces::Result read = SearchPlaces::parseText(m_places->toPlainText());
    const QString search = m_search->text().simplified();
    const qsizetype n = read.places.size();
    m_add->setEnabled(n > 0 && !search.isEmpty() && read.error.isEmpty());
    if (!read.error.isEmpty()) {
        m_summary->setText(QStringLiteral("The list %1.").arg(read.error));
    } else if (n == 0) {
        m_summary->setText(QStringLiteral("Each place becomes a search of its own."));
    } else if (search.isEmpty()) {
        m_summary->setText(QStringLiteral("Type the search string the places go with."));
    } else {
        QString text = QStringLiteral("%1 %2: \"%3\" and %4 more.")
                           .arg(n)
                           .arg(n == 1 ? QStringLiteral("search") : QStringLiteral("searches"))
                           .arg(SearchPlaces::combine(search, read.places.mid(0, 1)).value(0))
                           .arg(n - 1);
        if (n == 1)
            text = QStringLiteral("1 search: \"%1\".")
                       .arg(SearchPlaces::combine(search, read.places).value(0));
        if (read.repeated > 0)
            text += QStringLiteral(" %1 listed again, left out.").arg(read.repeated);
        m_summary->setText(text);
    }
}

void PlacesDialog::addSearches()
{
    const SearchPlaces::Result read = SearchPlaces::parseText(m_places->toPlainText());
    if (read.places.isEmpty() || !read.error.isEmpty())
        return;
    m_presenter->addSearchesForPlaces(m_search->text(), read.places);
    accept();
}
