// Any rules file: the reader never fails, every line it leaves out is named by number,
// and the order of the lines never changes a verdict (most specific wins, deny a tie).
#include "AccessRules.h"
#include "FuzzCheck.h"
#include "ServerLimits.h"

#include <QRegularExpression>

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList lines = text.split(u'\n');
    const AccessRules rules = AccessRules::Parse(text);
    std::reverse(lines.begin(), lines.end());
    const AccessRules reversed = AccessRules::Parse(lines.join(u'\n'));
    FUZZ_CHECK(rules.IgnoredLines().size() == reversed.IgnoredLines().size());
    for (const QString &line : rules.IgnoredLines())
        FUZZ_CHECK(line.startsWith(u"line "));

    // The clients probed: every address the text names, and raw 16-byte windows of it.
    std::vector<AccessRules::Address> clients;
    for (const QString &word : text.split(QRegularExpression(QStringLiteral("[\\s/#]+"))))
        if (QHostAddress a; a.setAddress(word))
            clients.push_back(AccessRules::FromHost(a));
    for (size_t i = 0; i + 16 <= size; i += 16)
        clients.push_back(AccessRules::FromHost(QHostAddress(data + i)));
    for (const AccessRules::Address &client : clients) {
        FUZZ_CHECK(rules.Allows(client, 0) == reversed.Allows(client, 0));
        FUZZ_CHECK(rules.Allows(client, 0) || !rules.Allows(client, MaxSlots)); // busier is never better
    }
    return 0;
}
