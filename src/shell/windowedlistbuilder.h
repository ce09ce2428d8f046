#pragma once

#include "discoveryconfig.h"
#include "listbuilder.h"

#include <QPointer>

class ListBuilderWindow;

// The list builder as the harvest sees it: the window ListBuilderWindow, created when a run first
// loads it (the embedded browser is not started before it is needed) and kept, hidden, between
// runs. The window's run reports through this object's signals.
class WindowedListBuilder : public ListBuilder
{
    Q_OBJECT
public:
    explicit WindowedListBuilder(const DiscoveryConfig &config = DiscoveryConfig(),
                                 QObject *parent = nullptr);
    ~WindowedListBuilder() override;

    bool isLoaded() const override;
    void load(const DiscoveryRequest &request) override;
    void show() override;
    void unload() override;

    // Ends a run in progress and destroys the window (shutdown).
    void unloadWindow();
    ListBuilderWindow *window() const;

private:
    DiscoveryConfig m_config;
    QPointer<ListBuilderWindow> m_form;
};
