// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "mainwindow/frmabout.h"

#include "ocula_config.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace ocula {

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Ocula"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("<b>Ocula</b>"), this);
    name->setObjectName(QStringLiteral("lblName"));
    auto* version =
        new QLabel(QStringLiteral("Version %1").arg(QStringLiteral(OCULA_VERSION)), this);
    version->setObjectName(QStringLiteral("lblVersion"));
    auto* blurb = new QLabel(QStringLiteral("A pixel magnifier for the desktop."), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(blurb);
    layout->addWidget(buttons);
}

} // namespace ocula
