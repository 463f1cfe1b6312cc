#include "http_client.h"

THttpClient::THttpClient(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("IdHTTP1"));
}

void THttpClient::Disconnect()
{
}
