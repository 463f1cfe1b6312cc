<?php
// admin.php on the command line: each row is one call (arguments, body file,
// input) with its exit status and what it must print; rows run in order on
// one database, so later rows see what earlier ones stored.
//
//   php test_news_admin.php SERVICE_FOLDER
declare(strict_types=1);
require __DIR__ . '/support.php';

$service = realpath($argv[1] ?? __DIR__ . '/../../publisher/news');
$work = scratch_folder();
$database = "$work/private/news.sqlite";
$env = ['TARNWICK_NEWS_DB' => $database];

$bodies = [
    'utf8' => "<p>café → ok</p>\n<p>second ≠ line</p>",
    'bom' => "\xEF\xBB\xBF<p>with mark</p>",
    'cp1252' => "<p>caf\xE9 \x80 10</p>",
    'plain' => '<p>plain</p>',
];
foreach ($bodies as $name => $bytes) {
    file_put_contents("$work/$name.html", $bytes);
}
$add = fn (string $title, string $body, array $more = []) => array_merge(
    ['add', '--publisher', 'pub1', '--brand', 'BR', '--title', $title, '--date', '2026-12-09',
        '--body-file', "$work/$body.html"],
    $more
);

$rows = [
    // name, arguments, input, exit status, text on stdout, text on stderr
    ['add before init: no database', $add('T', 'plain'), '', 1, '', 'There is no database'],
    ['init creates the database', ['init'], '', 0, 'The database is ready', ''],
    ['init again keeps it', ['init'], '', 0, 'The database is ready', ''],
    ['add: plain entry', $add('First', 'plain'), '', 0, 'Added entry 1 for publisher pub1, brand BR, level all.', ''],
    ['add: characters sent as references are reported', $add('Café – 10 €', 'utf8'), '', 0, 'Added entry 2',
        "Body: \"→\" (U+2192) at line 1, column 9 is sent as &#8594;.\nBody: \"≠\" (U+2260) at line 2, column 11"],
    ['add: a title character without a byte is reported', $add('Tschüß ő', 'plain'), '', 0, 'Added entry 3',
        'Title: "ő" (U+0151) at column 8 has no Windows-1252 byte; users see "?".'],
    ['add: a body in Windows-1252 is read as such', $add('Old file', 'cp1252'), '', 0, 'Added entry 4',
        'The body is not valid UTF-8; it was read as Windows-1252.'],
    ['add: byte-order mark dropped', $add('Marked', 'bom', ['--level', 'Gold']), '', 0,
        'Added entry 5 for publisher pub1, brand BR, level Gold.', ''],
    ['add: body from the input', array_merge(array_slice($add('Piped', 'plain'), 0, 9), ['--body-file', '-']), '<p>piped</p>', 0,
        'Added entry 6', ''],
    ['show: stored as UTF-8', ['show', '4'], '', 0, "<p>café € 10</p>", ''],
    ['show: without the mark', ['show', '5'], '', 0, '<p>with mark</p>', ''],
    ['refused: "^" in the title', $add('A^B', 'plain'), '', 2, '', 'cannot contain "^"'],
    ['refused: "^" in the date', array_merge($add('T', 'plain'), ['--date', '1^2']), '', 2, '', 'cannot contain "^"'],
    ['refused: title on two lines', $add("A\nB", 'plain'), '', 2, '', 'must be one line'],
    ['refused: empty title', $add(' ', 'plain'), '', 2, '', 'The title is empty'],
    ['refused: missing title', ['add', '--publisher', 'p', '--brand', 'b', '--body-file', "$work/plain.html"], '', 2,
        '', '--title is required'],
    ['refused: missing brand', ['add', '--publisher', 'p', '--title', 't', '--body-file', "$work/plain.html"], '', 2,
        '', '--brand is required'],
    ['refused: unknown level', $add('T', 'plain', ['--level', 'Bronze']), '', 2, '', 'Unknown level "Bronze"'],
    ['refused: missing body file', ['add', '--publisher', 'p', '--brand', 'b', '--title', 't', '--body-file',
        "$work/none.html"], '', 2, '', 'Cannot read the body file'],
    ['refused: unknown option', $add('T', 'plain', ['--colour', 'red']), '', 2, '', 'Unknown option --colour'],
    ['list: newest first, with levels', ['list', '--brand', 'BR'], '', 0,
        "6\tpub1\tBR\tall\t2026-12-09\tPiped\n5\tpub1\tBR\tGold\t2026-12-09\tMarked\n4\t", ''],
    ['list: a quote in a filter is only text', ['list', '--publisher', "x' OR '1'='1"], '', 0, 'No entries.', ''],
    ['edit: title changes, identifier stays', ['edit', '2', '--title', 'Café – 20 €'], '', 0, 'Changed entry 2.', ''],
    ['edit: shows at every level again', ['edit', '5', '--level', 'all'], '', 0, 'Changed entry 5.', ''],
    ['edit: nothing to change', ['edit', '2'], '', 2, '', 'Nothing to change'],
    ['edit: unknown entry', ['edit', '99', '--title', 'x'], '', 1, '', 'There is no entry 99.'],
    ['list after edits', ['list', '--publisher', 'pub1'], '', 0, "5\tpub1\tBR\tall\t2026-12-09\tMarked", ''],
    ['list after edits: new title', ['list'], '', 0, "2\tpub1\tBR\tall\t2026-12-09\tCafé – 20 €", ''],
    ['remove', ['remove', '6'], '', 0, 'Removed entry 6.', ''],
    ['remove: unknown entry', ['remove', '6'], '', 1, '', 'There is no entry 6.'],
    ['remove: not a number', ['remove', '6 OR 1=1'], '', 2, '', 'Give the identifier of one entry'],
    ['an identifier is never given out twice', $add('After removal', 'plain'), '', 0, 'Added entry 7', ''],
    ['register: a brand without news', ['register', '--publisher', 'quiet', '--brand', 'Q'], '', 0,
        'Publisher quiet, brand Q is known.', ''],
    ['unknown command', ['frobnicate'], '', 2, '', 'Unknown command "frobnicate"'],
    ['help', ['help'], '', 0, 'add --publisher ID --brand CODE', ''],
];
foreach ($rows as [$name, $arguments, $input, $status, $out, $err]) {
    row($name, function () use ($service, $arguments, $input, $status, $out, $err, $env) {
        [$rc, $stdout, $stderr] = run_php(array_merge(["$service/admin.php"], $arguments), $env, $input);
        expect_same($rc, $status, "exit status (stdout: $stdout, stderr: $stderr)");
        expect_contains($stdout, $out, 'stdout');
        expect_contains($stderr, $err, 'stderr');
    });
}

row('the database and its folder are the owner\'s only', function () use ($database) {
    expect_same(sprintf('%o', fileperms($database) & 0777), '600', 'database mode');
    expect_same(sprintf('%o', fileperms(dirname($database)) & 0777), '700', 'folder mode');
});
row('--database chooses another database', function () use ($service, $work) {
    [$rc, $out] = run_php(["$service/admin.php", '--database', "$work/other/news.sqlite", 'init']);
    expect_same($rc, 0, 'exit status');
    expect_same(is_file("$work/other/news.sqlite"), true, 'other database created');
});

exit(finish());
