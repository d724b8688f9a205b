// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QTemporaryDir;
class QTimer;

namespace ocula {

class RegistryStorage;
class ColorSwatch;
class ScreenSource;
class WindowProc;
class Zoom;

// The main window: the magnifier above a thin info bar, the popup menu, the keyboard
// commands, and the start-up and shut-down sequences.
class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(ScreenSource* source, QWidget* parent = nullptr);
    ~frmMain() override;

    // Where the settings persist (not owned). Without one the window keeps its settings
    // for the run only, starting from the first-run values.
    void setRegistry(RegistryStorage* registry) { m_registry = registry; }
    RegistryStorage* registry();

    // Start-up: settings, coordinate-box coupling, then the wheel handling. Call once,
    // before the window is first shown.
    void Form_Load();
    // The layout step; also run after the info bar or its coordinates panel is toggled.
    void Form_Resize();
    // Shut-down: the wheel handling is removed, then the settings are saved.
    void Form_Unload();

    // Shows a modal dialog with the window taken out of the always-on-top band.
    void runModal(QDialog& dialog);

    // Program-wide values shared with the settings and the options dialog.
    bool gOnTop = false;
    bool gShowCoords = false;
    static constexpr int32_t gMaxFactor = 100;

    Zoom* Zoom1 = nullptr;
    QWidget* picInfobar = nullptr;
    QWidget* picCoords = nullptr;
    QLineEdit* txtDistX = nullptr;
    QLineEdit* txtDistY = nullptr;
    QLineEdit* txtX = nullptr;
    QLineEdit* txtY = nullptr;
    std::array<QLabel*, 4> lbl{};
    QTimer* tmrMouse = nullptr;
    QMenu* mnuOptionsTop = nullptr;
    QAction* mnuInfobar = nullptr;
    QAction* mnuCopyColor = nullptr;
    QAction* mnuCopyRgb = nullptr;
    QAction* mnuCopyView = nullptr;
    QAction* mnuCopyPixels = nullptr;
    QAction* mnuSaveView = nullptr;
    QAction* mnuOptions = nullptr;
    QAction* mnuAbout = nullptr;
    WindowProc* windowProc() const { return m_windowProc; }

    // Keyboard commands and freeze/release, as raised by Zoom1.
    void Zoom1_KeyDown(short KeyCode, short Shift);
    void Zoom1_KeyUp(short KeyCode, short Shift);
    void Zoom1_MouseUp(short Button, short Shift, float X, float Y);
    void toggleInfobar();
    void toggleCoords();
    // Enter in a coordinate box: the leading number of its text goes to the control.
    void commitCoordinate(QLineEdit* box);
    // Couples the coordinate boxes and tmrMouse to whether the view follows the cursor.
    void setTracking(bool tracking);

    // The colour panel of the info bar: the colour of one screen pixel as the view shows it
    // (the centre, or the pixel under the pointer over a still view), and a pinned colour
    // to compare it with.
    QWidget* picColor = nullptr;
    ColorSwatch* picSwatch = nullptr;
    ColorSwatch* picPinned = nullptr;
    QLabel* lblHex = nullptr;
    QLabel* lblContrast = nullptr;
    // Gathers the changes of a still view into one refresh per tmrMouse period.
    QTimer* tmrColor = nullptr;
    // Reads the panel's pixel from the view and shows it.
    void refreshColor();
    // The pixel the panel shows and its colour (none while off the screen or before the
    // view first showed a picture).
    QPoint colorPixel() const { return m_colorPixel; }
    std::optional<QRgb> currentColor() const { return m_color; }
    std::optional<QRgb> pinnedColor() const { return m_pinned; }
    // The panel's tool tip: the colour in both forms, its pixel, the pinned colour.
    QString colorToolTip() const;
    // These take the colour the panel shows.
    void pinColor();
    void unpinColor();
    void copyColor(bool asRgb);
    void copyView(bool pixels);
    // The menu's Save View As...: a file dialog, then saveView.
    void saveViewAs();
    // Writes `image` to `path` as PNG, whole or not at all; false with the reason on failure.
    static bool saveImage(const QImage& image, const QString& path, QString* why);
    // The name a saved view is offered under: ocula-X-Y-xF.png.
    QString viewFileName() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadSettings();
    void SaveSettings();
    void buildInfobar();
    void showOptions();
    void showAbout();
    void tmrMouse_Timer();
    void showDistances();
    void scheduleColor();
    void showColor();
    void placeColorPanel();

    WindowProc* m_windowProc = nullptr;
    bool m_unloaded = false;
    RegistryStorage* m_registry = nullptr;
    std::unique_ptr<QTemporaryDir> m_scratchDir;
    std::unique_ptr<RegistryStorage> m_scratchRegistry;

    QPoint m_colorPixel;
    bool m_colorOffScreen = false;
    std::optional<QRgb> m_color;
    std::optional<QRgb> m_pinned;
    // What the panel's parts were last set to show.
    struct ShownColor {
        std::optional<QRgb> color, pinned;
        bool offScreen = false;
        bool operator==(const ShownColor&) const = default;
    };
    std::optional<ShownColor> m_shownColor;
    // The coordinate boxes show the pixel under the pointer, not the view's centre.
    bool m_boxesShowPointer = false;
};

} // namespace ocula
