// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/screensource.h"
#include "platform/wayland/screencastportal.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace ocula {

class PipeWireStreams;

// Where a stream's picture lies on one desktop of screen pixels. The portal tells each
// stream's place and size in the desktop's logical coordinates where it can (GNOME); KDE
// tells only sizes, so those streams are matched to the screens the window system lists,
// by size and in order. `pixels` is the picture's own size, once known.
struct StreamPlacement {
    std::optional<QPoint> position;
    std::optional<QSize> logicalSize;
    QSize pixels;
};
std::vector<QRect> placeStreams(const std::vector<StreamPlacement>& streams,
                                const std::vector<QRect>& screens);

// The screen of a Wayland session, through the ScreenCast portal and PipeWire.
class WaylandScreenSource final : public QObject, public ScreenSource {
    Q_OBJECT
public:
    WaylandScreenSource();
    ~WaylandScreenSource() override;

    QPoint cursorPos() override;
    QRect desktopRect() const override { return m_desktop; }
    bool grab(const QRect& source, QImage& into, bool* changed = nullptr) override;
    bool mayHaveChanged(const QRect& source) override;
    bool wakeOnChange(std::function<void()> wake) override;
    bool hearsEveryMove() const override { return m_cursorMetadata; }
    QString problem() const override { return m_problem; }
    QString pointerProblem() const override;
    void onProblemChanged(std::function<void()> changed) override {
        m_problemChanged = std::move(changed);
    }
    bool requestAccess(const QString& parentWindow, std::function<void()> answered) override;
    bool captureSpansDesktop() const override { return false; }

    // Whether this session is a Wayland one, whatever the window itself runs on.
    static bool isWaylandSession();

private:
    void ask();
    void answer(ScreenCastPortal::Result result);
    void openStreams(ScreenCastPortal::Result result);
    // One line on stderr, and words for the view.
    void cannotRead(const QString& why, const QString& words);
    static QString waitingWords();
    void streamsEnded();
    void setProblem(const QString& problem);
    void placePictures();

    std::unique_ptr<ScreenCastPortal> m_portal;
    std::unique_ptr<PipeWireStreams> m_streams;
    std::vector<StreamPlacement> m_placements;
    std::vector<QRect> m_rects;
    QRect m_desktop;
    QString m_parentWindow;
    std::function<void()> m_answered;
    bool m_cursorMetadata = false;
    bool m_retried = false;
    int m_generation = 0;
    bool m_pointerReported = false;
    QString m_problem;
    std::function<void()> m_problemChanged;
    QPoint m_pointer;
    std::function<void()> m_wake;
    std::shared_ptr<std::atomic<bool>> m_wakeArmed;
    // What mayHaveChanged compares: the latest two reads and how many pictures had come.
    QRect m_lastRead, m_readBefore;
    quint64 m_lastReadPictures = ~0ull, m_picturesBefore = ~0ull;
};

} // namespace ocula
