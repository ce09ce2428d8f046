#include "mainwindowlistbuilder.h"

#include "form3.h"

Form3Loader::Form3Loader(const DiscoveryConfig &config, QObject *parent)
    : ListBuilder(parent), m_config(config)
{
}

Form3Loader::~Form3Loader()
{
    unloadWindow();
}

bool Form3Loader::isLoaded() const
{
    return m_form && m_form->listBuilder()->isLoaded();
}

void Form3Loader::load(const DiscoveryRequest &request)
{
    if (!m_form) {
        m_form = new Form3(m_config);
        ListBuilder *run = m_form->listBuilder();
        connect(run, &ListBuilder::namesFound, this, &ListBuilder::namesFound);
        connect(run, &ListBuilder::finished, this, &ListBuilder::finished);
        connect(run, &ListBuilder::unloaded, this, &ListBuilder::unloaded);
    }
    m_form->listBuilder()->load(request);
}

void Form3Loader::show()
{
    if (m_form)
        m_form->listBuilder()->show();
}

void Form3Loader::unload()
{
    if (m_form)
        m_form->listBuilder()->unload();
}

void Form3Loader::unloadWindow()
{
    if (!m_form)
        return;
    m_form->listBuilder()->unload();
    delete m_form.data();
}

Form3 *Form3Loader::window() const
{
    return m_form;
}
