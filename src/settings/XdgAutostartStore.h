#pragma once
#include "StartupEntryStore.h"

// The start-up entry as the XDG autostart file "tallix-server.desktop". Its data is the
// Exec value (string escapes undone), e.g. "/opt/tallix/tallix-server" with the quotes.
class XdgAutostartStore : public StartupEntryStore
{
public:
    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when that is unset or relative.
    XdgAutostartStore();
    explicit XdgAutostartStore(const QString &autostartFolder);

    static QString DefaultFolder();
    QString FilePath() const;

    // The Exec value; empty when the file is missing or unreadable, has no Exec, or
    // carries Hidden=true (the desktop's way of switching an entry off).
    QString Read() const override;
    // Creates the folder when missing and replaces the file atomically. When the folder
    // cannot be made or written, nothing changes.
    bool Write(const QString &data, QString *why = nullptr) override;
    // Removes the entry, also one that reads as absent for want of an Exec. A hidden entry
    // is left alone: removing it could uncover a system-wide entry it switches off.
    bool Delete(QString *why = nullptr) override;
    // The executable's path quoted by the Exec rules.
    QString EntryData(const QString &executablePath) const override;

private:
    QString folder_;
};
