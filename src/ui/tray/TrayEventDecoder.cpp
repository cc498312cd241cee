#include "TrayEventDecoder.h"

TrayEvent TrayEventDecoder::Decode(qint32 message)
{
    switch (message) {
    case TrayMessage::LeftDown: return {TrayEventKind::MouseDown, 1};
    case TrayMessage::LeftUp: return {TrayEventKind::MouseUp, 1};
    case TrayMessage::LeftDoubleClick: return {TrayEventKind::MouseDblClick, 1};
    case TrayMessage::RightDown: return {TrayEventKind::MouseDown, 2};
    case TrayMessage::RightUp: return {TrayEventKind::MouseUp, 2};
    case TrayMessage::RightDoubleClick: return {TrayEventKind::MouseDblClick, 2};
    default: return {};
    }
}

bool TrayEventDecoder::Notify(qint32 message, const Raise &raise)
{
    lastMessage_ = message;
    if (inHandler_)
        return false;
    const TrayEvent event = Decode(message);
    if (event.kind == TrayEventKind::None)
        return false;

    // Cleared on every way out, so that a throwing handler cannot mute the icon for good.
    struct Guard
    {
        bool &flag;
        explicit Guard(bool &f) : flag(f) { flag = true; }
        ~Guard() { flag = false; }
    } guard(inHandler_);
    raise(event);
    return true;
}
