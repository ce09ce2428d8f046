#include "mainwindowmessages.h"

#include "productinfo.h"

#include <QMessageBox>

void MessageBoxMessages::information(const QString &text)
{
    QMessageBox box(QMessageBox::Information, strProductName, text, QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("harvestMessage"));
    box.exec();
}

HarvestMessages::Answer MessageBoxMessages::confirm(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                    m_parent);
    box.setObjectName(QStringLiteral("harvestQuestion"));
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? Ok : Cancel;
}

HarvestMessages::Answer MessageBoxMessages::confirmDestructive(const QString &text,
                                                               const QString &title,
                                                               const QString &detail)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                    m_parent);
    box.setObjectName(QStringLiteral("harvestQuestion"));
    box.setInformativeText(detail);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok ? Ok : Cancel;
}
