// The service's command parser, on any text message a peer can send.
#include "commandparser.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    const Command command = Command::parse(text);
    if (command.kind == Command::Invalid) {
        fuzz::require(!command.error.isEmpty());
        return 0;
    }
    if (command.kind == Command::Start) {
        // Strict means one reading only: the arguments quoted again give back the text.
        fuzz::require(!command.arguments.isEmpty() && !command.arguments.first().isEmpty());
        QString again = QStringLiteral("start: ");
        for (const QString& argument : command.arguments) {
            fuzz::require(!argument.contains(QLatin1Char('"')));
            again += QLatin1Char('"') + argument + QStringLiteral("\" ");
        }
        again.chop(1);
        fuzz::require(again == text);
    }
    return 0;
}
