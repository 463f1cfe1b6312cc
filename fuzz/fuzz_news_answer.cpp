// An answer of the news service, read as each of the three requests reads
// it; the details reader also decodes the body's dollar escapes.
#include "fuzz_check.h"
#include "services/news_service.h"

using namespace NewsService;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray answer = FuzzBytes(data, size).trimmed();
    for (TNewsOperation op : {TNewsOperation::List, TNewsOperation::Latest, TNewsOperation::Details})
        ErrorMessage(op, answer);
    if (!IsSuccess(answer))
        return 0;

    TStringList list;
    ParseNewsList(answer, list);
    for (const QByteArray &entry : list)
        FUZZ_CHECK(!entry.isEmpty() && !entry.contains(EntryEnd));

    QByteArray newsId, title = "untouched";
    if (!ParseLatestNews(answer, newsId, title))
        FUZZ_CHECK(newsId.isEmpty() && title == "untouched");
    else
        FUZZ_CHECK(!newsId.contains('^') && !title.contains('^'));

    FUZZ_CHECK(ParseNewsDetails(answer).size() <= answer.size());
    return 0;
}
