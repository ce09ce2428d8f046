#include "frmabout.h"

#include "frmsplash.h"
#include "productinfo.h"
#include "skin.h"

#include <QGridLayout>
#include <QLabel>
#include <QPointer>

namespace {
QPointer<frmAbout> g_about;

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

frmAbout *frmAbout::openWindow()
{
    if (!g_about) {
        g_about = new frmAbout();
        g_about->Form_Load();
    }
    if (g_about->isVisible()) {
        g_about->raise();
        g_about->activateWindow();
    } else {
        g_about->show();
    }
    return g_about;
}

frmAbout *frmAbout::instance()
{
    return g_about;
}

void frmAbout::unload()
{
    delete g_about.data();
}

frmAbout::frmAbout()
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);

    Picture1 = new PictureBox(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFixedSize(104, 104);
    Picture1->setPixmap(productLogo(96));
    Label1 = skinLabel("Label1", this);
    QFont big = Label1->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    Label1->setFont(big);
    Label2 = plainLabel("Label2", QStringLiteral("Version:"), this);
    lblVersion = skinLabel("lblVersion", this);
    Label3 = plainLabel("Label3", QStringLiteral("Owned By:"), this);
    lblCompany = skinLabel("lblCompany", this);
    Label4 = plainLabel("Label4", QStringLiteral("Website:"), this);
    lblWebsite = skinLabel("lblWebsite", this);
    lblWebsite->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label5 = plainLabel("Label5", QString(), this);
    Label5->setWordWrap(true);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(18, 18, 18, 16);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(6);
    grid->addWidget(Picture1, 0, 0, 5, 1, Qt::AlignTop);
    grid->addWidget(Label1, 0, 1, 1, 2);
    grid->addWidget(Label2, 1, 1);
    grid->addWidget(lblVersion, 1, 2);
    grid->addWidget(Label3, 2, 1);
    grid->addWidget(lblCompany, 2, 2);
    grid->addWidget(Label4, 3, 1);
    grid->addWidget(lblWebsite, 3, 2);
    grid->setRowMinimumHeight(4, 6);
    grid->addWidget(Label5, 5, 0, 1, 3);
    grid->setColumnStretch(2, 1);
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + strProductName);
    const VersionInfo v = versionInfo();
    Label1->setText(v.productName);
    lblCompany->setText(v.companyName);
    lblVersion->setText(QStringLiteral("%1.%2").arg(v.major).arg(v.minor));
    lblWebsite->setText(v.comments);
    Label5->setText(QStringLiteral("Copyright \u00A9 2026 %1. All rights reserved. This program is "
                                   "provided as is, without warranty of any kind.")
                        .arg(v.companyName));
    if (bSkin) {
        applyLabelOverlay(this);
        SkinForm(this);
    }
    Label5->setMinimumWidth(380);
    setFixedSize(sizeHint());
}
