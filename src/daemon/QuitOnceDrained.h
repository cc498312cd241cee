#pragma once
class ConnectionService;

// Ends the event loop once the stopped service's connections have ended as the stop
// button ends them: queued replies sent, then the clients' own close (or the socket
// layer's time-out). Ending the process sooner would reset them and lose those replies.
// The service must outlive the event loop.
void QuitOnceDrained(const ConnectionService &service);
