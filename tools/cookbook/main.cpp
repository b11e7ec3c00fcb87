// zestrel-cookbook: the recipe manager that owns cookbook.db. Without a command it
// opens the Cookbook window; the commands are in Commands.h.
#include "cookbook/Commands.h"

#include <QApplication>
#include <QCoreApplication>
#include <algorithm>
#include <memory>

using namespace zestrel::cookbooktool;

int main(int argc, char *argv[])
{
    using Command = int (*)(Invocation &);
    const struct {
        const char *name;
        Command run;
        bool window;
    } commands[] = {
        {"open", CommandOpen, true},      {"create", CommandCreate, false},
        {"sample", CommandSample, false}, {"import", CommandImport, false},
        {"export", CommandExport, true},
    };

    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString name = args.isEmpty() || args[0].startsWith(QLatin1String("--"))
                             ? QStringLiteral("open")
                             : args.takeFirst();
    const auto *command =
        std::find_if(std::begin(commands), std::end(commands),
                     [&](const auto &c) { return name == QLatin1String(c.name); });
    // export lays out the PDF cookbook's text; it needs no display for that.
    if (name == QLatin1String("export") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    const bool help =
        args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"));
    if (command != std::end(commands) && command->window && !help)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zestrel-cookbook"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.4.0"));

    QTextStream out(stdout), err(stderr);
    if (help) {
        Usage(out);
        return 0;
    }
    if (command == std::end(commands))
        return Usage(err);
    Invocation call{args, {}, out, err};
    const qsizetype at = call.args.indexOf(QStringLiteral("--folder"));
    if (at >= 0) {
        if (at + 1 >= call.args.size())
            return Usage(err);
        call.folder = call.args[at + 1];
        call.args.remove(at, 2);
    }
    return command->run(call);
}
