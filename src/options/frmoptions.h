// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QDialog>

#include <array>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ocula {

class frmMain;
class SpinBar;

// The modal options dialog: it reads the magnifier's settings and the main window's
// display flags when it is built and writes them back only on OK; it never touches the
// stored settings. Build a new one for every opening.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(frmMain& main);

    // Runs the colour chooser for one swatch; a confirmed colour changes only the swatch.
    void cmdColor_Click(int Index);
    void cmdOK_Click();
    void cmdCancel_Click();

    std::array<QLabel*, 4> lbl{};
    QLabel* lblPrc = nullptr;
    QLineEdit* txtFactor = nullptr;
    SpinBar* scrFactor = nullptr;
    QLineEdit* txtStep = nullptr;
    SpinBar* scrStep = nullptr;
    QComboBox* cboShowBars = nullptr;
    QComboBox* cboArrowColor = nullptr;
    QCheckBox* chkOnTop = nullptr;
    QCheckBox* chkGrid = nullptr;
    QCheckBox* chkMarkers = nullptr;
    QCheckBox* chkCoords = nullptr;
    QCheckBox* chkFollowMouse = nullptr;
    std::array<QPushButton*, 5> cmdColor{};
    std::array<QLabel*, 5> lblColor{};
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QFrame* Line1 = nullptr;
    QFrame* Line2 = nullptr;

private:
    void buildControls();
    void Form_Load();
    void setSwatch(int Index, int32_t color);
    void fitFont();
    bool captionsFit() const;

    frmMain& m_main;
    // The exact value behind each swatch, so that a system colour reference that the user
    // leaves alone is written back as the reference, not as the colour it resolves to.
    std::array<int32_t, 5> m_color{};
};

} // namespace ocula
