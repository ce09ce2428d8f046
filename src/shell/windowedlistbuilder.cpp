#include "windowedlistbuilder.h"

#include "listbuilderwindow.h"

WindowedListBuilder::WindowedListBuilder(const DiscoveryConfig &config, QObject *parent)
    : ListBuilder(parent), m_config(config)
{
}

WindowedListBuilder::~WindowedListBuilder()
{
    unloadWindow();
}

bool WindowedListBuilder::isLoaded() const
{
    return m_form && m_form->listBuilder()->isLoaded();
}

void WindowedListBuilder::load(const DiscoveryRequest &request)
{
    if (!m_form) {
        m_form = new ListBuilderWindow(m_config);
        ListBuilder *run = m_form->listBuilder();
        connect(run, &ListBuilder::namesFound, this, &ListBuilder::namesFound);
        connect(run, &ListBuilder::finished, this, &ListBuilder::finished);
        connect(run, &ListBuilder::unloaded, this, &ListBuilder::unloaded);
    }
    m_form->listBuilder()->load(request);
}

void WindowedListBuilder::show()
{
    if (m_form)
        m_form->listBuilder()->show();
}

void WindowedListBuilder::unload()
{
    if (m_form)
        m_form->listBuilder()->unload();
}

void WindowedListBuilder::unloadWindow()
{
    if (!m_form)
        return;
    m_form->listBuilder()->unload();
    delete m_form.data();
}

ListBuilderWindow *WindowedListBuilder::window() const
{
    return m_form;
}
