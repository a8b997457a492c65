#pragma once
// One running program per user and settings store. The first instance listens on a local
// socket named from "Tarvoline", the user and the settings file; a later start connects,
// hands over its request ("activate", or "postlink-load" for the post-link-and-load entry point)
// and ends.

#include <QLocalServer>
#include <QObject>
#include <QString>

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kActivate = "activate";
    static constexpr const char* kPostLinkLoad = "postlink-load";

    explicit CSingleInstance(QString name = DefaultName(), QObject* parent = nullptr);

    // The name for this user and settings store.
    static QString DefaultName();

    // True when another instance took the request: this one should end.
    bool HandOff(const QString& request = kActivate, int timeoutMs = 2000);
    // Starts listening; false when the name cannot be had.
    bool Listen();
    const QString& Name() const { return m_name; }

signals:
    void ActivationRequested();
    void PostLinkLoadRequested();

private:
    void OnConnection();

    QString m_name;
    QLocalServer m_server;
};
