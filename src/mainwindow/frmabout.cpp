// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "mainwindow/frmabout.h"

#include "ocula_config.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

namespace ocula {

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Ocula"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    // Each line a label of its own and none wrapped: the box takes the width of the longest
    // at whatever font size the session's scale gives.
    const auto addLine = [this, layout](const char* objectName, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(objectName));
        layout->addWidget(label);
        return label;
    };
    QLabel* name = addLine("lblName", QStringLiteral("Ocula"));
    QFont bigger = name->font();
    bigger.setBold(true);
    if (bigger.pointSizeF() > 0)
        bigger.setPointSizeF(bigger.pointSizeF() * 1.5);
    name->setFont(bigger);
    addLine("lblVersion", QStringLiteral("Version %1").arg(QStringLiteral(OCULA_VERSION)));
    addLine("lblDescription", QStringLiteral("A pixel magnifier for the desktop."));
    layout->addSpacing(fontMetrics().height() / 2);
    addLine("lblCopyright", QStringLiteral("Copyright (c) 2026 The Ocula authors"));
    addLine("lblLicence", QStringLiteral("Free software under the MIT licence."));
    addLine("lblKeys", QStringLiteral("The keys and mouse actions are listed in \"man ocula\" "
                                      "and in the README."));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    // Not resizable: there is nothing more to show.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace ocula
