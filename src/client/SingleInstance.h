// One running copy per program folder: the first copy listens on a local
// socket named after its folder; a later copy finds it there and can ask it to
// show its window.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace zestrel
{

class SingleInstance : public QObject
{
    Q_OBJECT
  public:
    explicit SingleInstance(const QString &programFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // The local socket name for a program folder.
    static QString ServerName(const QString &programFolder);

    // True when another copy for this folder is running (its socket answers).
    // The connection stays open for RequestShow.
    bool FindRunningInstance();
    // Asks the copy found by FindRunningInstance to show its window; true when sent.
    bool RequestShow();
    // Lets go of the copy found by FindRunningInstance without asking anything.
    void Release();
    // Becomes the running copy: listens for later copies. A socket left behind by
    // a copy that crashed is removed first.
    bool Listen();

    bool isListening() const;

  signals:
    // A later copy asked this one to show its window.
    void showRequested();

  private:
    void onNewConnection();

    QString name_;
    QLocalServer *server_ = nullptr;
    std::unique_ptr<QLocalSocket> found_;
};

} // namespace zestrel
