#pragma once

#include "services/http_client.h"
#include "util/string_list.h"

#include <QByteArray>
#include <QString>

class TMessageService;

// The publisher's news service: three multipart posts and their answers.
// Building a request and reading an answer are plain functions; the Fetch
// functions put them together over the shared HTTP client.
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

// Posts the request and returns the trimmed answer. Every failure gives the
// empty answer; *cancelled (when given) tells whether the request was ended
// by the client's Disconnect rather than failing on its own.
QByteArray PostNewsRequest(THttpClient &client, const TNewsRequest &request, bool *cancelled = nullptr);

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

// The operations. Each returns true when the service answered with success.
// FetchNewsList appends to `list` without emptying it. The warnings go
// through `messages`; FetchLatestNews runs from a timer and shows nothing.
bool FetchNewsList(THttpClient &client, TMessageService &messages, const QByteArray &publID,
                   const QByteArray &brandCode, const QByteArray &prodType, const QByteArray &target,
                   TStringList &list);
bool FetchLatestNews(THttpClient &client, const QByteArray &publID, const QByteArray &brandCode,
                     const QByteArray &prodType, const QByteArray &target, QByteArray &newsId,
                     QByteArray &title);
bool FetchNewsDetails(THttpClient &client, TMessageService &messages, const QByteArray &publID,
                      const QByteArray &brandCode, const QByteArray &prodType, const QByteArray &target,
                      const QByteArray &newsId, QByteArray &body);

} // namespace NewsService
