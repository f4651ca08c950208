#include "Wayscribe/tools/help/CAboutDialog.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "Wayscribe/tools/widgets/BandIcons.h"

CAboutDialog::CAboutDialog(QWidget* owner, std::optional<ProductVersion> version) : QDialog(owner)
{
    setObjectName(QString::number(kDialogId));
    setWindowTitle(QStringLiteral("About Trailbook Pro"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(BandIcons::Icon(kIconId).pixmap(32, 32));
    icon->setFixedSize(32, 32);
    auto* product = new QLabel(QStringLiteral("Quillonix Trailbook Pro"), this);
    QFont name = product->font();
    name.setBold(true);
    product->setFont(name);
    auto* versionLabel = new QLabel(QStringLiteral("Version"), this);
    auto* versionText = new QLabel(QString::fromStdString(FormatProductVersion(version)), this);
    versionText->setObjectName(QString::number(kVersionId));
    versionText->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const QString address = QString::fromUtf8(kWebAddress);
    auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()), this);
    link->setObjectName(QString::number(kWebAddressId));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setOpenExternalLinks(true);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(14);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(product, 0, 1, 1, 2);
    grid->addWidget(versionLabel, 1, 1);
    grid->addWidget(versionText, 1, 2);
    grid->addWidget(link, 2, 1, 1, 2);
    grid->addWidget(line, 3, 0, 1, 3);
    grid->addWidget(ok, 4, 0, 1, 3, Qt::AlignRight);
    grid->setColumnStretch(2, 1);
    grid->setVerticalSpacing(8);
    grid->setContentsMargins(16, 16, 16, 12);
    grid->setColumnMinimumWidth(2, 180);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

void ShowAboutDialog()
{
    CAboutDialog dialog(QApplication::activeWindow());
    dialog.exec();
}
