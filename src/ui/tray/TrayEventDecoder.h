#pragma once
#include <QtGlobal>

#include <functional>

// The shell's mouse message numbers for the tray icon, as Windows sends them.
namespace TrayMessage {
constexpr qint32 LeftDown = 513;
constexpr qint32 LeftUp = 514;
constexpr qint32 LeftDoubleClick = 515;
constexpr qint32 RightDown = 516;
constexpr qint32 RightUp = 517;
constexpr qint32 RightDoubleClick = 518;
constexpr qint32 MiddleDown = 519;
} // namespace TrayMessage

enum class TrayEventKind { None, MouseDown, MouseUp, MouseDblClick };

struct TrayEvent
{
    TrayEventKind kind = TrayEventKind::None;
    int button = 0; // 1 left, 2 right
};

// Turns tray notifications into events, one at a time: a notification that arrives while the
// handler of an earlier one is still running (a nested event loop, say a modal message box
// opened from the handler) is dropped, never queued.
class TrayEventDecoder
{
public:
    using Raise = std::function<void(const TrayEvent &)>;

    static TrayEvent Decode(qint32 message);

    // Records the message as LastMessage, then raises its event unless a handler is running.
    // Returns whether an event was raised.
    bool Notify(qint32 message, const Raise &raise);

    qint32 LastMessage() const { return lastMessage_; }
    bool InHandler() const { return inHandler_; }

private:
    qint32 lastMessage_ = 0;
    bool inHandler_ = false;
};
