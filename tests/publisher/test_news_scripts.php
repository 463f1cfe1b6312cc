<?php
// getlastnews.php and getnewsdetails.php under `php -S`, fed the program's
// request bytes; every answer is compared byte for byte.
//
//   php test_news_scripts.php SERVICE_FOLDER
declare(strict_types=1);
require __DIR__ . '/support.php';

$service = realpath($argv[1] ?? __DIR__ . '/../../publisher/news');
$admin = $service . '/admin.php';
$work = scratch_folder();
$database = "$work/data/news.sqlite";
$env = ['TARNWICK_NEWS_DB' => $database];

function admin(array $arguments, array $env): void
{
    [$rc, $out, $err] = run_php(array_merge([$GLOBALS['admin']], $arguments), $env);
    if ($rc !== 0) {
        throw new RuntimeException("admin.php " . implode(' ', $arguments) . " failed: $out$err");
    }
}

function body_file(string $utf8): string
{
    $file = $GLOBALS['work'] . '/body-' . md5($utf8) . '.html';
    file_put_contents($file, $utf8);
    return $file;
}

admin(['init'], $env);
$entries = [
    ['pub1', 'BR', 'all', 'First', '2026-12-01', '<p>one</p>'],
    ['pub1', 'BR', 'Gold', 'Gold only', '2026-12-02', '<p>gold</p>'],
    ['pub2', 'ZZ', 'all', 'Other publisher', '2026-12-03', '<p>other</p>'],
    ['pub1', 'BR', 'all', 'Removed', '2026-12-04', '<p>gone</p>'],
    ['pub1', 'BR', 'all', 'Café – 10 € ő', '9 déc.', "<h1>Save $5</h1>\n<p>café → ok ¯OK</p>"],
    ['Café', 'X', 'all', 'Accents', 'today', ' <i>lead</i>'],
];
foreach ($entries as [$publisher, $brand, $level, $title, $date, $body]) {
    admin(['add', '--publisher', $publisher, '--brand', $brand, '--level', $level, '--title', $title,
        '--date', $date, '--body-file', body_file($body)], $env);
}
admin(['remove', '4'], $env);
admin(['register', '--publisher', 'quiet', '--brand', 'Q'], $env);

$server = new TestServer($service, $env, "$work/server.log");

// The program's three requests, in its field order.
function list_fields(string $publisher, string $brand, string $prodtype, string $kind = 'all'): array
{
    return [['memusername', $publisher], ['prodcode', $brand], ['prodtype', $prodtype], ['conttype', $kind],
        ['newstarget', 'UA'], ['something', '']];
}
function details_fields(string $publisher, string $brand, string $prodtype, string $id): array
{
    return [['memusername', $publisher], ['prodcode', $brand], ['prodtype', $prodtype], ['newsid', $id],
        ['newstarget', 'UA'], ['something', '']];
}

$latestTitle = "Caf\xE9 \x96 10 \x80 ?";
$cases = [
    // name, script, form fields, expected answer
    ['list: newest first, 1252 on the wire, removed entry gone', 'getlastnews.php', list_fields('pub1', 'BR', 'BM'),
        "5^$latestTitle^9 d\xE9c.\xAF1^First^2026-12-01\xAFOK"],
    ['list: a level sees its own entries too', 'getlastnews.php', list_fields('pub1', 'BR', 'BG'),
        "5^$latestTitle^9 d\xE9c.\xAF2^Gold only^2026-12-02\xAF1^First^2026-12-01\xAFOK"],
    ['latest: identifier and title', 'getlastnews.php', list_fields('pub1', 'BR', 'BP', 'lastcode'),
        "5^$latestTitle\xAFOK"],
    ['latest: the newest of the level', 'getlastnews.php', list_fields('pub2', 'ZZ', 'BG', 'lastcode'),
        "3^Other publisher\xAFOK"],
    ['list: a known brand without news', 'getlastnews.php', list_fields('quiet', 'Q', 'BM'), 'OK'],
    ['latest: a known brand without news', 'getlastnews.php', list_fields('quiet', 'Q', 'BM', 'lastcode'), 'OK'],
    ['list: publisher identifier sent in Windows-1252', 'getlastnews.php', list_fields("Caf\xE9", 'X', 'BM'),
        "6^Accents^today\xAFOK"],
    ['list: unknown publisher', 'getlastnews.php', list_fields('nobody', 'BR', 'BM'), 'INVALIDUSER'],
    ['list: publisher in another case', 'getlastnews.php', list_fields('PUB1', 'BR', 'BM'), 'INVALIDUSER'],
    ['list: empty publisher', 'getlastnews.php', list_fields('', 'BR', 'BM'), 'INVALIDUSER'],
    ['list: quote in the publisher is only text', 'getlastnews.php', list_fields("pub1' OR '1'='1", 'BR', 'BM'),
        'INVALIDUSER'],
    ['list: brand of another publisher', 'getlastnews.php', list_fields('pub1', 'ZZ', 'BM'), 'INVALIDPRODUCT'],
    ['list: no level of the news', 'getlastnews.php', list_fields('pub1', 'BR', 'BF'), 'INVALIDPRODUCT'],
    ['list: level codes are exact', 'getlastnews.php', list_fields('pub1', 'BR', 'bm'), 'INVALIDPRODUCT'],
    ['list: unknown content type', 'getlastnews.php', list_fields('pub1', 'BR', 'BM', 'some'), 'INVALIDREQUEST'],
    ['list: a field sent as a list is no value', 'getlastnews.php',
        [['memusername[]', 'pub1'], ['prodcode', 'BR'], ['prodtype', 'BM'], ['conttype', 'all']], 'INVALIDUSER'],
    ['details: plain body', 'getnewsdetails.php', details_fields('pub1', 'BR', 'BM', '1'), "<p>one</p>\xAFOK"],
    ['details: dollar, line break, 1252, reference, 0xAF escaped', 'getnewsdetails.php',
        details_fields('pub1', 'BR', 'BM', '5'), "<h1>Save \$245</h1>\$0A<p>caf\$E9 &#8594; ok \$AFOK</p>\xAFOK"],
    ['details: a leading blank survives the trimming', 'getnewsdetails.php', details_fields("Caf\xE9", 'X', 'BG', '6'),
        "\$20<i>lead</i>\xAFOK"],
    ['details: entry of another level', 'getnewsdetails.php', details_fields('pub1', 'BR', 'BM', '2'), 'INVALIDNEWS'],
    ['details: entry of the level', 'getnewsdetails.php', details_fields('pub1', 'BR', 'BG', '2'),
        "<p>gold</p>\xAFOK"],
    ['details: removed entry', 'getnewsdetails.php', details_fields('pub1', 'BR', 'BM', '4'), 'INVALIDNEWS'],
    ['details: entry of another publisher', 'getnewsdetails.php', details_fields('pub1', 'BR', 'BM', '3'),
        'INVALIDNEWS'],
    ['details: missing news id', 'getnewsdetails.php', details_fields('pub1', 'BR', 'BM', ''), 'INVALIDNEWS'],
    ['details: news id with SQL', 'getnewsdetails.php', details_fields('pub1', 'BR', 'BM', '1 OR 1=1'),
        'INVALIDNEWS'],
    ['details: negative news id', 'getnewsdetails.php', details_fields('pub1', 'BR', 'BM', '-1'), 'INVALIDNEWS'],
    ['details: unknown publisher first', 'getnewsdetails.php', details_fields('nobody', 'BR', 'BM', '1'),
        'INVALIDUSER'],
    ['details: unknown brand', 'getnewsdetails.php', details_fields('pub1', 'NOPE', 'BM', '1'), 'INVALIDPRODUCT'],
];
foreach ($cases as [$name, $script, $fields, $expected]) {
    row($name, function () use ($server, $script, $fields, $expected) {
        [$status, $body, $head] = $server->post('/' . $script, $fields);
        expect_same($status, 200, 'status');
        expect_same($body, $expected, 'answer');
        expect_contains($head, 'charset=windows-1252', 'content type');
    });
}

row('an overlong publisher field is no publisher', function () use ($server) {
    [, $body] = $server->post('/getnewsdetails.php', details_fields(str_repeat('p', 100000), 'BR', 'BM', '1'));
    expect_same($body, 'INVALIDUSER', 'answer');
});
row('admin tool and configuration are not served', function () use ($server) {
    foreach (['/admin.php', '/config.php'] as $path) {
        [$status, $body] = $server->send("GET $path HTTP/1.0\r\n\r\n");
        expect_same($body, '', "body of $path");
    }
    [$status] = $server->send("GET /admin.php HTTP/1.0\r\n\r\n");
    expect_same($status, 404, 'admin.php status');
});
row('a GET without a form is an unknown publisher', function () use ($server) {
    [$status, $body] = $server->send("GET /getlastnews.php HTTP/1.0\r\n\r\n");
    expect_same($body, 'INVALIDUSER', 'answer');
});

// The database cannot be used: each case has a server of its own.
$broken = [
    ['no database file', ['TARNWICK_NEWS_DB' => "$work/none/news.sqlite"], null],
    ['a file that is no database', ['TARNWICK_NEWS_DB' => "$work/garbage.sqlite"], 'not a database at all'],
    ['a database without tables', ['TARNWICK_NEWS_DB' => "$work/empty.sqlite"], ''],
];
foreach ($broken as [$name, $brokenEnv, $content]) {
    row("CONNECTIONFAIL: $name", function () use ($service, $brokenEnv, $content, $work) {
        if ($content !== null) {
            file_put_contents($brokenEnv['TARNWICK_NEWS_DB'], $content);
        }
        $s = new TestServer($service, $brokenEnv, "$work/server.log");
        [, $list] = $s->post('/getlastnews.php', list_fields('pub1', 'BR', 'BM'));
        [, $details] = $s->post('/getnewsdetails.php', details_fields('pub1', 'BR', 'BM', '1'));
        expect_same([$list, $details], ['CONNECTIONFAIL', 'CONNECTIONFAIL'], 'answers');
        expect_same(is_file("$work/none/news.sqlite"), false, 'no database created by a request');
    });
}
row('CONNECTIONFAIL: the database inside the web root is never used', function () use ($service, $work) {
    // A copy of the service whose database lies in its own served folder.
    $root = "$work/site";
    mkdir("$root/lib", 0700, true);
    foreach (['getlastnews.php', 'getnewsdetails.php', 'config.php', 'lib/news.php'] as $f) {
        copy("$service/$f", "$root/$f");
    }
    copy($GLOBALS['database'], "$root/news.sqlite");
    $s = new TestServer($root, ['TARNWICK_NEWS_DB' => "$root/news.sqlite"], "$work/server.log");
    [, $list] = $s->post('/getlastnews.php', list_fields('pub1', 'BR', 'BM'));
    expect_same($list, 'CONNECTIONFAIL', 'answer');
});

exit(finish());
