<?php
// The news service's shared code: the database, the answers the program
// reads, and the conversion from the stored UTF-8 to the Windows-1252 bytes
// the program expects. Needs PHP 8 with PDO SQLite and nothing else (no
// mbstring, no iconv), so it runs on plain shared hosting.
declare(strict_types=1);

namespace TarnwickNews;

use PDO;
use PDOException;
use RuntimeException;

// Every entry of a success answer ends with this byte; "OK" follows the last.
const ENTRY_END = "\xAF";
const SUCCESS = 'OK';

// The answers the program turns into messages.
const CONNECTIONFAIL = 'CONNECTIONFAIL';
const INVALIDUSER = 'INVALIDUSER';
const INVALIDPRODUCT = 'INVALIDPRODUCT';
const INVALIDNEWS = 'INVALIDNEWS';
// Anything that is none of the above shows no message in the program.
const INVALIDREQUEST = 'INVALIDREQUEST';

// Product types of the levels that fetch news (Master, Platinum, Gold). An
// entry stored with the empty product type is shown at every level.
const LEVELS = ['BM', 'BP', 'BG'];

// Bounds on what a request or the admin tool may hand us.
const MAX_FIELD_BYTES = 256;
const MAX_TITLE_BYTES = 1024;
const MAX_BODY_BYTES = 1048576;

// Windows-1252 bytes 0x80..0x9F and the characters they stand for. The five
// bytes the code page leaves undefined are missing on purpose: the characters
// U+0081 and so on are invisible controls and are never sent.
const CP1252_HIGH = [
    0x20AC => 0x80, 0x201A => 0x82, 0x0192 => 0x83, 0x201E => 0x84, 0x2026 => 0x85,
    0x2020 => 0x86, 0x2021 => 0x87, 0x02C6 => 0x88, 0x2030 => 0x89, 0x0160 => 0x8A,
    0x2039 => 0x8B, 0x0152 => 0x8C, 0x017D => 0x8E, 0x2018 => 0x91, 0x2019 => 0x92,
    0x201C => 0x93, 0x201D => 0x94, 0x2022 => 0x95, 0x2013 => 0x96, 0x2014 => 0x97,
    0x02DC => 0x98, 0x2122 => 0x99, 0x0161 => 0x9A, 0x203A => 0x9B, 0x0153 => 0x9C,
    0x017E => 0x9E, 0x0178 => 0x9F,
];

function config(): array
{
    $config = require __DIR__ . '/../config.php';
    $fromEnvironment = getenv('TARNWICK_NEWS_DB');
    if (is_string($fromEnvironment) && $fromEnvironment !== '') {
        $config['database'] = $fromEnvironment;
    }
    $config['list_limit'] = max(1, (int)($config['list_limit'] ?? 100));
    return $config;
}

// ---------------------------------------------------------------- encoding

function is_utf8(string $text): bool
{
    return preg_match('//u', $text) === 1;
}

// The characters of a valid UTF-8 text.
function characters(string $utf8): array
{
    return $utf8 === '' ? [] : preg_split('//u', $utf8, -1, PREG_SPLIT_NO_EMPTY);
}

function code_point(string $character): int
{
    $b = array_values(unpack('C*', $character));
    switch (count($b)) {
        case 1:
            return $b[0];
        case 2:
            return (($b[0] & 0x1F) << 6) | ($b[1] & 0x3F);
        case 3:
            return (($b[0] & 0x0F) << 12) | (($b[1] & 0x3F) << 6) | ($b[2] & 0x3F);
        default:
            return (($b[0] & 0x07) << 18) | (($b[1] & 0x3F) << 12) | (($b[2] & 0x3F) << 6) | ($b[3] & 0x3F);
    }
}

// The Windows-1252 byte of a code point, or null when the code page has none.
function cp1252_byte(int $cp): ?int
{
    if ($cp < 0x80 || ($cp >= 0xA0 && $cp <= 0xFF)) {
        return $cp;
    }
    return CP1252_HIGH[$cp] ?? null;
}

// Windows-1252 bytes read back as UTF-8 (for input that is not UTF-8).
function cp1252_to_utf8(string $bytes): string
{
    static $back = null;
    if ($back === null) {
        $back = array_flip(CP1252_HIGH);
    }
    $out = '';
    $n = strlen($bytes);
    for ($i = 0; $i < $n; ++$i) {
        $b = ord($bytes[$i]);
        $cp = ($b >= 0x80 && $b < 0xA0) ? ($back[$b] ?? 0xFFFD) : $b;
        $out .= utf8_character($cp);
    }
    return $out;
}

function utf8_character(int $cp): string
{
    if ($cp < 0x80) {
        return chr($cp);
    }
    if ($cp < 0x800) {
        return chr(0xC0 | ($cp >> 6)) . chr(0x80 | ($cp & 0x3F));
    }
    if ($cp < 0x10000) {
        return chr(0xE0 | ($cp >> 12)) . chr(0x80 | (($cp >> 6) & 0x3F)) . chr(0x80 | ($cp & 0x3F));
    }
    return chr(0xF0 | ($cp >> 18)) . chr(0x80 | (($cp >> 12) & 0x3F)) . chr(0x80 | (($cp >> 6) & 0x3F))
        . chr(0x80 | ($cp & 0x3F));
}

// A title or date for one line of an answer. Characters Windows-1252 cannot
// hold become "?", and so do the bytes that would cut the line into fields or
// entries ("^", 0xAF) and control characters. Returns the bytes and what was
// replaced: a list of [line, column, character, code point].
function title_to_wire(string $utf8, ?array &$replaced = null): string
{
    $replaced = [];
    $out = '';
    $column = 0;
    foreach (characters($utf8) as $c) {
        ++$column;
        $cp = code_point($c);
        $byte = cp1252_byte($cp);
        if ($byte === null || $byte < 0x20 || $byte === 0x7F || $byte === 0x5E || $byte === 0xAF) {
            $replaced[] = [1, $column, $c, $cp];
            $out .= '?';
        } else {
            $out .= chr($byte);
        }
    }
    return $out;
}

// An HTML body in Windows-1252: characters the code page cannot hold become
// numeric character references, which every HTML view shows as the character.
// Returns the bytes and the references made, as [line, column, character,
// code point].
function body_to_cp1252(string $utf8, ?array &$referenced = null): string
{
    $referenced = [];
    $out = '';
    $line = 1;
    $column = 0;
    foreach (characters($utf8) as $c) {
        $cp = code_point($c);
        if ($cp === 0x0A) {
            ++$line;
            $column = 0;
            $out .= "\n";
            continue;
        }
        ++$column;
        $byte = cp1252_byte($cp);
        if ($byte === null) {
            $referenced[] = [$line, $column, $c, $cp];
            $out .= '&#' . $cp . ';';
        } else {
            $out .= chr($byte);
        }
    }
    return $out;
}

// The body as it travels: "$" and two hex digits for every byte that the
// program's reading could disturb ("$" itself, controls, the bytes from 0x7F
// up, which hold the end-of-entry byte 0xAF) and for a leading blank, which the
// program would trim away. Every other byte stands for itself.
function dollar_hex(string $bytes): string
{
    $out = '';
    $n = strlen($bytes);
    for ($i = 0; $i < $n; ++$i) {
        $b = ord($bytes[$i]);
        if ($b === 0x24 || $b < 0x20 || $b >= 0x7F || ($i === 0 && $b === 0x20)) {
            $out .= sprintf('$%02X', $b);
        } else {
            $out .= $bytes[$i];
        }
    }
    return $out;
}

// ---------------------------------------------------------------- database

// What the admin page keeps about logins; manage.php also creates these in
// databases made before they existed.
const LOGIN_SCHEMA = [
    // Logins ended by "Log out" before their time, by their signature.
    'CREATE TABLE IF NOT EXISTS logged_out (signature TEXT PRIMARY KEY, until INTEGER NOT NULL)',
    // Failed logins of the last minutes, by the client's address.
    'CREATE TABLE IF NOT EXISTS login_failures (client TEXT NOT NULL, at INTEGER NOT NULL)',
    'CREATE INDEX IF NOT EXISTS login_failures_by_client ON login_failures (client, at)',
];

const SCHEMA = [
    'CREATE TABLE IF NOT EXISTS products (
        publisher TEXT NOT NULL,
        brand TEXT NOT NULL,
        PRIMARY KEY (publisher, brand))',
    // AUTOINCREMENT: an identifier is never given out twice, even after a
    // removal, because the program compares identifiers to find newer news.
    'CREATE TABLE IF NOT EXISTS news (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        publisher TEXT NOT NULL,
        brand TEXT NOT NULL,
        prodtype TEXT NOT NULL DEFAULT \'\',
        title TEXT NOT NULL,
        published TEXT NOT NULL,
        body TEXT NOT NULL)',
    'CREATE INDEX IF NOT EXISTS news_by_product ON news (publisher, brand, id)',
    // The admin page's password hash and the secret its logins are signed with.
    'CREATE TABLE IF NOT EXISTS settings (name TEXT PRIMARY KEY, value TEXT NOT NULL)',
    ...LOGIN_SCHEMA,
];

// What is wrong with a title, date, publisher id or brand code; null when
// nothing is. One line without "^", which would cut the entry in two.
function line_problem(string $utf8, string $what): ?string
{
    if (trim($utf8) === '') {
        return "The $what is empty.";
    }
    if (preg_match('/[\r\n]/', $utf8)) {
        return "The $what must be one line.";
    }
    if (str_contains($utf8, '^')) {
        return "The $what cannot contain \"^\": the program splits news entries at it.";
    }
    if (strlen($utf8) > MAX_TITLE_BYTES) {
        return "The $what is longer than " . MAX_TITLE_BYTES . ' bytes.';
    }
    return null;
}

function setting(PDO $db, string $name): ?string
{
    $q = $db->prepare('SELECT value FROM settings WHERE name = ?');
    $q->execute([$name]);
    $value = $q->fetchColumn();
    return $value === false ? null : $value;
}

function set_setting(PDO $db, string $name, ?string $value): void
{
    if ($value === null) {
        $db->prepare('DELETE FROM settings WHERE name = ?')->execute([$name]);
    } else {
        $db->prepare('INSERT OR REPLACE INTO settings (name, value) VALUES (?, ?)')->execute([$name, $value]);
    }
}

// Opens an existing database; the web scripts never create one.
function open_database(string $path): PDO
{
    if (!is_file($path) || !is_readable($path)) {
        throw new RuntimeException("There is no database at $path (run: php admin.php init).");
    }
    $db = new PDO('sqlite:' . $path, null, null, [
        PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION,
        PDO::ATTR_DEFAULT_FETCH_MODE => PDO::FETCH_ASSOC,
    ]);
    $db->exec('PRAGMA busy_timeout = 5000');
    return $db;
}

// Creates the database, its folder (owner-only) and tables; an existing one
// keeps its entries.
function create_database(string $path): PDO
{
    $folder = dirname($path);
    if (!is_dir($folder) && !mkdir($folder, 0700, true)) {
        throw new RuntimeException("Cannot create the folder $folder.");
    }
    $isNew = !file_exists($path);
    $db = new PDO('sqlite:' . $path, null, null, [
        PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION,
        PDO::ATTR_DEFAULT_FETCH_MODE => PDO::FETCH_ASSOC,
    ]);
    foreach (SCHEMA as $statement) {
        $db->exec($statement);
    }
    if ($isNew) {
        chmod($path, 0600);
    }
    return $db;
}

// True when `$path` lies inside the folder the web server serves.
function inside_web_root(string $path, string $webRoot): bool
{
    if ($webRoot === '') {
        return false;
    }
    $root = realpath($webRoot);
    $folder = realpath(dirname($path));
    if ($root === false || $folder === false) {
        return false;
    }
    $root = rtrim(str_replace('\\', '/', $root), '/') . '/';
    $folder = rtrim(str_replace('\\', '/', $folder), '/') . '/';
    return strncmp($folder, $root, strlen($root)) === 0;
}

// ---------------------------------------------------------------- requests

// One text field of the posted form, as the program's bytes (Windows-1252)
// turned into the stored UTF-8; null when it is missing, not text or too long.
function form_field(array $post, string $name): ?string
{
    $value = $post[$name] ?? null;
    if (!is_string($value) || strlen($value) > MAX_FIELD_BYTES) {
        return null;
    }
    return preg_match('/[\x80-\xFF]/', $value) ? cp1252_to_utf8($value) : $value;
}

// Who asks: null when the publisher and brand are known and the product type
// is a level's, otherwise the error word.
function check_product(PDO $db, ?string $publisher, ?string $brand, ?string $prodtype): ?string
{
    if ($publisher === null || $publisher === '') {
        return INVALIDUSER;
    }
    $known = $db->prepare('SELECT brand FROM products WHERE publisher = ?');
    $known->execute([$publisher]);
    $brands = $known->fetchAll(PDO::FETCH_COLUMN);
    if (!$brands) {
        return INVALIDUSER;
    }
    if ($brand === null || !in_array($brand, $brands, true) || !in_array($prodtype, LEVELS, true)) {
        return INVALIDPRODUCT;
    }
    return null;
}

function list_line(array $row): string
{
    return $row['id'] . '^' . title_to_wire($row['title']) . '^' . title_to_wire($row['published']);
}

// The publisher, brand and level a request names, or the error word to
// answer when the service does not know them.
function asking_product(PDO $db, array $post): array|string
{
    $publisher = form_field($post, 'memusername');
    $brand = form_field($post, 'prodcode');
    $prodtype = form_field($post, 'prodtype');
    $error = check_product($db, $publisher, $brand, $prodtype);
    return $error ?? [$publisher, $brand, $prodtype];
}

// The answer of getlastnews.php: the list ("all") or the newest entry
// ("lastcode") of the publisher's brand at the asking level.
function answer_list(PDO $db, array $post, int $limit): string
{
    $asker = asking_product($db, $post);
    if (is_string($asker)) {
        return $asker;
    }
    [$publisher, $brand, $prodtype] = $asker;
    $kind = form_field($post, 'conttype');
    if ($kind !== 'all' && $kind !== 'lastcode') {
        return INVALIDREQUEST;
    }
    $query = $db->prepare(
        'SELECT id, title, published FROM news
         WHERE publisher = ? AND brand = ? AND (prodtype = \'\' OR prodtype = ?)
         ORDER BY id DESC LIMIT ?'
    );
    $query->bindValue(1, $publisher);
    $query->bindValue(2, $brand);
    $query->bindValue(3, $prodtype);
    $query->bindValue(4, $kind === 'all' ? $limit : 1, PDO::PARAM_INT);
    $query->execute();
    $rows = $query->fetchAll();
    if (!$rows) {
        return SUCCESS;
    }
    if ($kind === 'lastcode') {
        return $rows[0]['id'] . '^' . title_to_wire($rows[0]['title']) . ENTRY_END . SUCCESS;
    }
    $answer = '';
    foreach ($rows as $row) {
        $answer .= list_line($row) . ENTRY_END;
    }
    return $answer . SUCCESS;
}

// The answer of getnewsdetails.php: the body of one entry of the publisher's
// brand at the asking level.
function answer_details(PDO $db, array $post): string
{
    $asker = asking_product($db, $post);
    if (is_string($asker)) {
        return $asker;
    }
    [$publisher, $brand, $prodtype] = $asker;
    $id = form_field($post, 'newsid');
    if ($id === null || !preg_match('/^[0-9]{1,18}$/', $id)) {
        return INVALIDNEWS;
    }
    $query = $db->prepare(
        'SELECT body FROM news
         WHERE id = ? AND publisher = ? AND brand = ? AND (prodtype = \'\' OR prodtype = ?)'
    );
    $query->bindValue(1, (int)$id, PDO::PARAM_INT);
    $query->bindValue(2, $publisher);
    $query->bindValue(3, $brand);
    $query->bindValue(4, $prodtype);
    $query->execute();
    $body = $query->fetchColumn();
    if ($body === false) {
        return INVALIDNEWS;
    }
    return dollar_hex(body_to_cp1252($body)) . ENTRY_END . SUCCESS;
}

// Runs one web request: opens the database, lets `$answer` build the reply
// and sends it as Windows-1252 text. Any trouble with the database is the
// answer CONNECTIONFAIL; its details go to the server's error log only.
function serve(callable $answer): void
{
    header('Content-Type: text/plain; charset=windows-1252');
    header('X-Content-Type-Options: nosniff');
    header('Cache-Control: no-store');
    try {
        $config = config();
        if (inside_web_root($config['database'], (string)($_SERVER['DOCUMENT_ROOT'] ?? ''))) {
            error_log('tarnwick news: the database lies inside the web root; move it (config.php)');
            echo CONNECTIONFAIL;
            return;
        }
        $db = open_database($config['database']);
        echo $answer($db, $_POST, $config);
    } catch (PDOException | RuntimeException $e) {
        error_log('tarnwick news: ' . $e->getMessage());
        echo CONNECTIONFAIL;
    }
}
