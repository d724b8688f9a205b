// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

namespace ocula {

// Everything the magnifier needs from the desktop: where the cursor is, how big the
// desktop is, and the pixels of a rectangle of it.
class ScreenSource {
public:
    virtual ~ScreenSource() = default;

    virtual QPoint cursorPos() = 0;
    // The virtual desktop in screen pixels; its top-left corner is the origin of cursorPos().
    virtual QRect desktopRect() const = 0;
    // Copies the desktop pixels of `source` into `into`, whose size the caller has set to
    // source.size() (Format_RGB32). Pixel (0, 0) of `into` is source.topLeft(). Parts of
    // `source` off the desktop are left untouched, so the caller decides what they show.
    // Returns false when nothing could be read. With `changed`, also tells whether any
    // pixel read differs from what `into` held there: a caller that grabs the same
    // rectangle into the same image learns whether the screen has changed, in the same
    // pass and without a second image.
    virtual bool grab(const QRect& source, QImage& into, bool* changed = nullptr) = 0;
    // Reads `source`, which must lie wholly on the desktop, into memory of the source's own
    // and lends it, sparing the caller a copy: rows of 32-bit words 0x??RRGGBB (the top
    // byte undefined) `*bytesPerLine` apart, valid until the next read or grab. Null when
    // the source does not lend or could not read: the caller then grabs.
    virtual const uchar* lend(const QRect& source, qsizetype* bytesPerLine) {
        (void)source;
        (void)bytesPerLine;
        return nullptr;
    }
    // Whether lent pixels have 0xff in their top byte, as Format_RGB32 wants.
    virtual bool lendsOpaquePixels() const { return false; }
    // False only when the source knows that no pixel of `source` has changed since it last
    // read exactly that rectangle: up to now when that was its latest read, so that a
    // caller who still holds the pixels need not read them again; up to the latest read
    // when it was the read before (a caller that moved may move what it drew from them).
    virtual bool mayHaveChanged(const QRect& source) {
        (void)source;
        return true;
    }
    // Between samples a source may listen to the window system for pointer moves and
    // drawing. A caller that stops sampling for a while (a frozen view) says so, and
    // nothing piles up for it meanwhile.
    virtual void setListening(bool listening) { (void)listening; }
    // A source that hears the pointer move and the screen being drawn calls `wake` once,
    // from the event loop, at the first such event after this call (or soon after it, when
    // one is already waiting): a caller with nothing to do may then sample less often.
    // Not every move is heard (a program warping the pointer may make none), so such a
    // caller still samples now and then. Returns false when the source cannot do this;
    // an empty `wake` withdraws the request.
    virtual bool wakeOnChange(std::function<void()> wake) {
        (void)wake;
        return false;
    }
    // Whether such a wake comes for every move, warps too: a resting caller then need not
    // look for them itself.
    virtual bool hearsEveryMove() const { return false; }

    // Why the source cannot show the screen, in words for the view; empty while it can.
    virtual QString problem() const { return {}; }
    // Why cursorPos() does not follow the pointer, when it cannot; the screen may still be
    // read around a centre the user types.
    virtual QString pointerProblem() const { return {}; }
    // `changed` runs from the event loop whenever either of those may have changed.
    virtual void onProblemChanged(std::function<void()> changed) { (void)changed; }
    // A source that must ask the desktop for the screen (a screen-cast portal) asks here:
    // `parentWindow` names the window a permission dialog belongs to ("x11:" and the X
    // window id in hex, or empty), and `answered` runs from the event loop once the
    // desktop has answered, whatever the answer. False when there is nothing to ask.
    virtual bool requestAccess(const QString& parentWindow, std::function<void()> answered) {
        (void)parentWindow;
        (void)answered;
        return false;
    }
    // Whether a capture of the pointer by the view spans the whole desktop, so that the
    // view hears the pointer leave it even while it is over other windows. Where it does
    // not, the view goes by the pointer entering and leaving it.
    virtual bool captureSpansDesktop() const { return true; }
};

// Copies `bytes` from `from` to `to`; true when they differed.
bool copyChanged(uchar* to, const uchar* from, size_t bytes);

// The best source this platform offers: X11 with MIT-SHM where possible, else Qt's grabWindow.
std::unique_ptr<ScreenSource> createScreenSource();

} // namespace ocula
