#include "mainwindowlistbuilder.h"

#include "form3.h"

Form3Loader::Form3Loader(ListBuilderHost *host, const DiscoveryConfig &config)
    : m_host(host), m_config(config)
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

void Form3Loader::load()
{
    if (!m_form)
        m_form = new Form3(m_host, m_config);
    m_form->listBuilder()->load();
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
