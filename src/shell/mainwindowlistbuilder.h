#pragma once

#include "discoveryconfig.h"
#include "listbuilder.h"

#include <QPointer>

class Form3;

// The list builder as the main window's engine sees it: the window Form3, created when a run
// first loads it (the embedded browser is not started before it is needed) and kept,
// hidden, between runs. host (the engine) must outlive this object.
class Form3Loader : public ListBuilder
{
public:
    explicit Form3Loader(ListBuilderHost *host, const DiscoveryConfig &config = DiscoveryConfig());
    ~Form3Loader() override;

    bool isLoaded() const override;
    void load() override;
    void show() override;
    void unload() override;

    // Ends a run in progress and destroys the window (shutdown).
    void unloadWindow();
    Form3 *window() const;

private:
    ListBuilderHost *m_host;
    DiscoveryConfig m_config;
    QPointer<Form3> m_form;
};
