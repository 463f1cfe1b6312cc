#pragma once

#include "services/http_client.h"
#include "util/string_list.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QObject;

class TMessageService;

// The publisher's news service: three multipart posts and their answers.
// Building a request and reading an answer are plain functions; the Fetch
// functions put them together over the shared HTTP client, without waiting.
namespace NewsService {

inline constexpr char ListScript[] = "getlastnews.php";
inline constexpr char DetailsScript[] = "getnewsdetails.php";
// The byte that ends every entry of a success answer, and the success tail.
inline constexpr char EntryEnd = '\xAF';
inline constexpr char SuccessTail[] = "\xAFOK";

enum class TNewsOperation { List, Latest, Details };

struct TNewsRequest
{
    QByteArray url;
    THttpFormFields fields;
};

// The news site of a product type ("BM", "BP", "BG") from BrandingSettings;
// empty for any other code.
QByteArray NewsBaseURL(const QByteArray &prodType);
// `base` and `script` joined by exactly one "/" (a base without one, the
// empty base included, gets it).
QByteArray ScriptURL(const QByteArray &base, const QByteArray &script);

TNewsRequest NewsListRequest(const QByteArray &publID, const QByteArray &brandCode,
                             const QByteArray &prodType, const QByteArray &target);
TNewsRequest LatestNewsRequest(const QByteArray &publID, const QByteArray &brandCode,
                               const QByteArray &prodType, const QByteArray &target);
TNewsRequest NewsDetailsRequest(const QByteArray &publID, const QByteArray &brandCode,
                                const QByteArray &prodType, const QByteArray &target,
                                const QByteArray &newsId);

// Posts the request; `done` gets the trimmed answer once it is in. Every
// failure gives the empty answer; `cancelled` tells whether the client's
// Disconnect ended the request rather than it failing on its own. Nothing
// is called once `context` is gone.
using TAnswerDone = std::function<void(const QByteArray &answer, bool cancelled)>;
void PostNewsRequest(THttpClient &client, const TNewsRequest &request, QObject *context, TAnswerDone done);

// Success is the two letters "OK" anywhere in the (trimmed) answer.
bool IsSuccess(const QByteArray &answer);
// Removes every 0xAF "OK".
QByteArray RemoveSuccessTail(const QByteArray &answer);
// The warning an operation shows for an answer without "OK"; empty for none.
QString ErrorMessage(TNewsOperation operation, const QByteArray &answer);

// Readers of success answers.
void ParseNewsList(const QByteArray &answer, TStringList &list);
// False when the remainder holds no identifier "^" title pair: the answer then
// counts as one without news (empty identifier, title untouched).
bool ParseLatestNews(const QByteArray &answer, QByteArray &newsId, QByteArray &title);
QByteArray ParseNewsDetails(const QByteArray &answer);

// The operations. Each starts its request and calls `done` with true when the
// service answered with success; nothing is called, and nothing shown, once
// `context` is gone. The warnings go through `messages` (which must outlive
// `context`), before `done`; FetchLatestNews runs from a timer and shows
// nothing. A request ended by the client's Disconnect is not warned of.
using TListDone = std::function<void(bool ok, const TStringList &list)>;
void FetchNewsList(THttpClient &client, TMessageService &messages, const QByteArray &publID,
                   const QByteArray &brandCode, const QByteArray &prodType, const QByteArray &target,
                   QObject *context, TListDone done);
// `title` is empty when the answer named none.
using TLatestDone = std::function<void(bool ok, const QByteArray &newsId, const QByteArray &title)>;
void FetchLatestNews(THttpClient &client, const QByteArray &publID, const QByteArray &brandCode,
                     const QByteArray &prodType, const QByteArray &target, QObject *context, TLatestDone done);
using TDetailsDone = std::function<void(bool ok, const QByteArray &body)>;
void FetchNewsDetails(THttpClient &client, TMessageService &messages, const QByteArray &publID,
                      const QByteArray &brandCode, const QByteArray &prodType, const QByteArray &target,
                      const QByteArray &newsId, QObject *context, TDetailsDone done);

} // namespace NewsService
