#include "aboutwindow.h"

#include "productinfo.h"
#include "skin.h"
#include "splashwindow.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {
QLabel *plainLabel(const char *name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}
SkinLabel *skinLabel(const char *name, QWidget *parent)
{
    auto *l = new SkinLabel(parent);
    l->setObjectName(QLatin1String(name));
    return l;
}
} // namespace

AboutWindow::AboutWindow()
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_logo = new PictureBox(this);
    m_logo->setObjectName(QStringLiteral("Picture1"));
    m_logo->setFixedSize(104, 104);
    m_logo->setPixmap(productLogo(96));
    m_product = skinLabel("Label1", this);
    QFont big = m_product->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    m_product->setFont(big);
    m_versionCaption = plainLabel("Label2", QStringLiteral("Version:"), this);
    m_version = skinLabel("lblVersion", this);
    m_companyCaption = plainLabel("Label3", QStringLiteral("Owned By:"), this);
    m_company = skinLabel("lblCompany", this);
    m_websiteCaption = plainLabel("Label4", QStringLiteral("Website:"), this);
    m_website = skinLabel("lblWebsite", this);
    m_website->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_rights = plainLabel("Label5", QString(), this);
    m_rights->setWordWrap(true);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(18, 18, 18, 16);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(6);
    grid->addWidget(m_logo, 0, 0, 5, 1, Qt::AlignTop);
    grid->addWidget(m_product, 0, 1, 1, 2);
    grid->addWidget(m_versionCaption, 1, 1);
    grid->addWidget(m_version, 1, 2);
    grid->addWidget(m_companyCaption, 2, 1);
    grid->addWidget(m_company, 2, 2);
    grid->addWidget(m_websiteCaption, 3, 1);
    grid->addWidget(m_website, 3, 2);
    grid->setRowMinimumHeight(4, 6);
    grid->addWidget(m_rights, 5, 0, 1, 3);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    grid->addWidget(buttons, 6, 0, 1, 3);
    grid->setColumnStretch(2, 1);
}

void AboutWindow::load()
{
    setWindowTitle(QStringLiteral("About ") + strProductName);
    const VersionInfo v = versionInfo();
    m_product->setText(v.productName);
    m_company->setText(v.companyName);
    m_version->setText(QStringLiteral("%1.%2").arg(v.major).arg(v.minor));
    m_website->setText(v.comments);
    m_rights->setText(
        QStringLiteral("Copyright \u00A9 2026 %1. All rights reserved. This program is "
                       "provided as is, without warranty of any kind.")
            .arg(v.companyName));
    if (bSkin) {
        applyLabelOverlay(this);
        SkinForm(this);
    }
    m_rights->setMinimumWidth(380);
    setFixedSize(sizeHint());
}
