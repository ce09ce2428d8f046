#pragma once

#include "discoveryconfig.h"
#include "searchlistbuilder.h"

#include <QWidget>

class QLineEdit;
class QWebEngineView;
class WebEngineBrowser;

// The list builder window: a status line and the embedded browser that loads and shows
// the result pages. The run itself is the SearchListBuilder inside; the harvest is given
// listBuilder() and loads, shows and unloads it. The window follows the run: shown
// without modality when the run is shown, hidden when it ends. Closing the window ends
// the run without an outcome, as unloading does. The skin is not applied here.
class ListBuilderWindow : public QWidget
{
    Q_OBJECT
public:
    static const char *const caption; // "List Builder - Finding matching websites..."

    explicit ListBuilderWindow(const DiscoveryConfig &config = DiscoveryConfig(),
                               QWidget *parent = nullptr);
    ~ListBuilderWindow() override;

    ListBuilder *listBuilder() { return m_builder; }
    SearchListBuilder *searchListBuilder() const { return m_builder; }

    QLineEdit *Text1() const { return m_text1; }
    QWebEngineView *WebBrowser1() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void followVisibility(bool visible);

    QLineEdit *m_text1;
    WebEngineBrowser *m_browser;
    SearchListBuilder *m_builder;
};
