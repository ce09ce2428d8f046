#pragma once

#include "discoveryconfig.h"
#include "listbuilder.h"

#include <QPointer>

class Form3;

// The list builder as the harvest sees it: the window Form3, created when a run first loads
// it (the embedded browser is not started before it is needed) and kept, hidden, between
// runs. The window's run reports through this object's signals.
class Form3Loader : public ListBuilder
{
    Q_OBJECT
public:
    explicit Form3Loader(const DiscoveryConfig &config = DiscoveryConfig(),
                         QObject *parent = nullptr);
    ~Form3Loader() override;

    bool isLoaded() const override;
    void load(const DiscoveryRequest &request) override;
    void show() override;
    void unload() override;

    // Ends a run in progress and destroys the window (shutdown).
    void unloadWindow();
    Form3 *window() const;

private:
    DiscoveryConfig m_config;
    QPointer<Form3> m_form;
};
