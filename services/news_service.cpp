#include "news_service.h"

#include "settings/branding_settings.h"
#include "util/message_service.h"
#include "util/text_utils.h"

namespace NewsService {

namespace {

TNewsRequest BuildRequest(const QByteArray &script, const QByteArray &publID, const QByteArray &brandCode,
                          const QByteArray &prodType, const QByteArray &fourthName,
                          const QByteArray &fourthValue, const QByteArray &target)
{
    return {ScriptURL(NewsBaseURL(prodType), script),
            {{"memusername", publID},
             {"prodcode", brandCode},
             {"prodtype", prodType},
             {fourthName, fourthValue},
             {"newstarget", target},
             {"something", QByteArray()}}};
}

// Shows the operation's warning for a failed answer. A request ended by the
// client's Disconnect (the main window closing) is no trouble of the news
// site and is not reported.
void ReportFailure(TMessageService &messages, TNewsOperation operation, const QByteArray &answer,
                   bool cancelled)
{
    if (cancelled)
        return;
    const QString text = ErrorMessage(operation, answer);
    if (!text.isEmpty())
        messages.MessageDlg(text, TMsgDlgType::mtWarning, mbOK);
}

} // namespace

QByteArray NewsBaseURL(const QByteArray &prodType)
{
    const TBrandingSettings &s = BrandingSettings();
    if (prodType == "BM")
        return s.MasterNewsBaseURL;
    if (prodType == "BP")
        return s.PlatinumNewsBaseURL;
    if (prodType == "BG")
        return s.GoldNewsBaseURL;
    return {};
}

QByteArray ScriptURL(const QByteArray &base, const QByteArray &script)
{
    return base.endsWith('/') ? base + script : base + '/' + script;
}

TNewsRequest NewsListRequest(const QByteArray &publID, const QByteArray &brandCode, const QByteArray &prodType,
                             const QByteArray &target)
{
    return BuildRequest(ListScript, publID, brandCode, prodType, "conttype", "all", target);
}

TNewsRequest LatestNewsRequest(const QByteArray &publID, const QByteArray &brandCode, const QByteArray &prodType,
                               const QByteArray &target)
{
    return BuildRequest(ListScript, publID, brandCode, prodType, "conttype", "lastcode", target);
}

TNewsRequest NewsDetailsRequest(const QByteArray &publID, const QByteArray &brandCode, const QByteArray &prodType,
                                const QByteArray &target, const QByteArray &newsId)
{
    return BuildRequest(DetailsScript, publID, brandCode, prodType, "newsid", newsId, target);
}

void PostNewsRequest(THttpClient &client, const TNewsRequest &request, QObject *context, TAnswerDone done)
{
    THttpExchange *exchange = client.Post(request.url, request.fields);
    QObject::connect(exchange, &THttpExchange::finished, context, [exchange, done = std::move(done)] {
        if (const auto &error = exchange->Error())
            done({}, error->Cancelled());
        else
            done(TrimAnsi(exchange->Body()), false);
    });
}

bool IsSuccess(const QByteArray &answer)
{
    return answer.contains("OK");
}

QByteArray RemoveSuccessTail(const QByteArray &answer)
{
    return QByteArray(answer).replace(SuccessTail, QByteArray());
}

QString ErrorMessage(TNewsOperation operation, const QByteArray &answer)
{
    if (operation == TNewsOperation::Latest)
        return {};
    if (answer.isEmpty())
        return QStringLiteral("There is a trouble accessing the news site. Contact your provider.");
    if (answer == "CONNECTIONFAIL")
        return QStringLiteral("There is a trouble in the settings file on the news site.");
    if (answer == "INVALIDUSER")
        return QStringLiteral("There is a trouble with the Publisher Id. Contact your provider.");
    if (answer == "INVALIDPRODUCT")
        return QStringLiteral("There is a trouble with the product validation. Contact your provider.");
    if (answer == "INVALIDNEWS" && operation == TNewsOperation::Details)
        return QStringLiteral("There is a trouble with this news. Contact your provider.");
    return {};
}

void ParseNewsList(const QByteArray &answer, TStringList &list)
{
    TStringList fields;
    SplitByDelimiter(EntryEnd, answer, fields);
    for (const QByteArray &field : fields)
        if (!field.isEmpty() && field != "OK")
            list.append(field);
}

bool ParseLatestNews(const QByteArray &answer, QByteArray &newsId, QByteArray &title)
{
    newsId.clear();
    const QByteArray rest = RemoveSuccessTail(answer);
    if (rest == "OK")
        return true;
    TStringList fields;
    SplitByDelimiter('^', rest, fields);
    // Without a title there is nothing to announce; such an answer is read as
    // one without news rather than as news with a blank title.
    if (fields.size() < 2)
        return false;
    newsId = fields[0];
    title = fields[1];
    return true;
}

QByteArray ParseNewsDetails(const QByteArray &answer)
{
    return DecodeDollarHex(RemoveSuccessTail(answer));
}

void FetchNewsList(THttpClient &client, TMessageService &messages, const QByteArray &publID,
                   const QByteArray &brandCode, const QByteArray &prodType, const QByteArray &target,
                   QObject *context, TListDone done)
{
    PostNewsRequest(client, NewsListRequest(publID, brandCode, prodType, target), context,
                    [&messages, done = std::move(done)](const QByteArray &answer, bool cancelled) {
                        TStringList list;
                        if (!IsSuccess(answer)) {
                            ReportFailure(messages, TNewsOperation::List, answer, cancelled);
                            done(false, list);
                            return;
                        }
                        ParseNewsList(answer, list);
                        done(true, list);
                    });
}

void FetchLatestNews(THttpClient &client, const QByteArray &publID, const QByteArray &brandCode,
                     const QByteArray &prodType, const QByteArray &target, QObject *context, TLatestDone done)
{
    PostNewsRequest(client, LatestNewsRequest(publID, brandCode, prodType, target), context,
                    [done = std::move(done)](const QByteArray &answer, bool) {
                        QByteArray newsId;
                        QByteArray title;
                        if (!IsSuccess(answer)) {
                            done(false, newsId, title);
                            return;
                        }
                        ParseLatestNews(answer, newsId, title);
                        done(true, newsId, title);
                    });
}

void FetchNewsDetails(THttpClient &client, TMessageService &messages, const QByteArray &publID,
                      const QByteArray &brandCode, const QByteArray &prodType, const QByteArray &target,
                      const QByteArray &newsId, QObject *context, TDetailsDone done)
{
    PostNewsRequest(client, NewsDetailsRequest(publID, brandCode, prodType, target, newsId), context,
                    [&messages, done = std::move(done)](const QByteArray &answer, bool cancelled) {
                        if (!IsSuccess(answer)) {
                            ReportFailure(messages, TNewsOperation::Details, answer, cancelled);
                            done(false, {});
                            return;
                        }
                        done(true, ParseNewsDetails(answer));
                    });
}

} // namespace NewsService
