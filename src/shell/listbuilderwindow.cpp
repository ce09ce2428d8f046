#include "listbuilderwindow.h"

#include "webenginebrowser.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWebEngineView>

const char *const ListBuilderWindow::caption = "List Builder - Finding matching websites...";

ListBuilderWindow::ListBuilderWindow(const DiscoveryConfig &config, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QLatin1String(caption));
    setWindowModality(Qt::NonModal);
    resize(760, 560);

    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setReadOnly(true);
    m_text1->setText(QLatin1String(SearchListBuilder::initialStatusText));
    m_text1->setToolTip(
        QStringLiteral("This shows the number of unique .com, .org and .net domain names found."));

    m_browser = new WebEngineBrowser(this, this);
    m_browser->view()->setObjectName(QStringLiteral("WebBrowser1"));
    m_browser->view()->setToolTip(
        QStringLiteral("Searching for unique .com, .net and .org domain names."));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_text1);
    layout->addWidget(m_browser->view(), 1);

    m_builder = new SearchListBuilder(m_browser, config, this);
    connect(m_builder, &SearchListBuilder::statusTextChanged, m_text1, &QLineEdit::setText);
    connect(m_builder, &SearchListBuilder::visibleChanged, this,
            &ListBuilderWindow::followVisibility);
}

ListBuilderWindow::~ListBuilderWindow()
{
    // The run ends with the window, and its browser goes first.
    m_builder->disconnect(this);
    delete m_builder;
    m_builder = nullptr;
}

QWebEngineView *ListBuilderWindow::WebBrowser1() const
{
    return m_browser->view();
}

void ListBuilderWindow::followVisibility(bool visible)
{
    if (visible) {
        show();
        raise();
    } else {
        hide();
    }
}

void ListBuilderWindow::closeEvent(QCloseEvent *event)
{
    m_builder->unload();
    event->accept();
}
