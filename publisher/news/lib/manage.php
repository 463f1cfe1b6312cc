<?php
// The admin page behind manage.php. Logins are a signed cookie (no PHP
// sessions, which shared hosting does not always keep) that "Log out" revokes
// in the database, every change carries a token tied to that cookie, every
// value shown is escaped, and a client that keeps guessing the password is
// held off for a while.
declare(strict_types=1);

namespace TarnwickNews;

use PDO;
use PDOException;
use RuntimeException;

const LOGIN_COOKIE = 'tarnwick_news_login';
const LOGIN_SECONDS = 8 * 3600;
// At most this many failed logins per client address in that many seconds.
const LOGIN_ATTEMPTS = 5;
const LOGIN_WINDOW_SECONDS = 15 * 60;

function html(string $text): string
{
    return htmlspecialchars($text, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8');
}

function signed(PDO $db, string $what): string
{
    return hash_hmac('sha256', $what, (string)setting($db, 'login_secret'));
}

// A new login's cookie: when it ends, a random part that tells two logins of
// the same second apart (so that logging out of one leaves the other), and
// the signature of both.
function new_login(PDO $db, int $until): string
{
    $what = $until . '.' . bin2hex(random_bytes(16));
    return $what . '.' . signed($db, 'login' . $what);
}

// The login's end and signature when the cookie holds a valid one that has
// not run out; null otherwise. A revoked login still counts here.
function login_of(PDO $db, int $now): ?array
{
    $cookie = $_COOKIE[LOGIN_COOKIE] ?? '';
    if (!is_string($cookie) || !preg_match('/^(([0-9]{1,12})\.[0-9a-f]{32})\.([0-9a-f]{64})$/', $cookie, $m)) {
        return null;
    }
    if ((int)$m[2] <= $now || !hash_equals(signed($db, 'login' . $m[1]), $m[3])) {
        return null;
    }
    return ['until' => (int)$m[2], 'signature' => $m[3]];
}

function logged_in(PDO $db): bool
{
    $login = login_of($db, time());
    if ($login === null) {
        return false;
    }
    $q = $db->prepare('SELECT 1 FROM logged_out WHERE signature = ?');
    $q->execute([$login['signature']]);
    return $q->fetchColumn() === false;
}

// Ends the cookie's login for good: the cookie stops working on the server
// even if a browser (or anybody who copied it) keeps sending it.
function revoke_login(PDO $db): void
{
    $now = time();
    $login = login_of($db, $now);
    $db->prepare('DELETE FROM logged_out WHERE until <= ?')->execute([$now]);
    if ($login !== null) {
        $db->prepare('INSERT OR IGNORE INTO logged_out (signature, until) VALUES (?, ?)')
            ->execute([$login['signature'], $login['until']]);
    }
}

// Seconds until `$client` may try a password again; 0 when it may now.
function login_wait(PDO $db, string $client, int $now): int
{
    $q = $db->prepare('SELECT at FROM login_failures WHERE client = ? AND at > ? ORDER BY at DESC LIMIT '
        . LOGIN_ATTEMPTS);
    $q->execute([$client, $now - LOGIN_WINDOW_SECONDS]);
    $recent = $q->fetchAll(PDO::FETCH_COLUMN);
    if (count($recent) < LOGIN_ATTEMPTS) {
        return 0;
    }
    return max(1, (int)min($recent) + LOGIN_WINDOW_SECONDS - $now);
}

// Checks a password posted by `$client`, counting it against the client's
// limit before the check, so that parallel guesses cannot slip past it.
// Returns true for the right password (which clears the client's count),
// false for a wrong one, or the seconds to wait when the client may not try.
function try_password(PDO $db, string $client, string $password, int $now): bool|int
{
    $db->exec('BEGIN IMMEDIATE');
    try {
        $wait = login_wait($db, $client, $now);
        if ($wait === 0) {
            $db->prepare('DELETE FROM login_failures WHERE at <= ?')->execute([$now - LOGIN_WINDOW_SECONDS]);
            $db->prepare('INSERT INTO login_failures (client, at) VALUES (?, ?)')->execute([$client, $now]);
        }
        $db->exec('COMMIT');
    } catch (PDOException $e) {
        $db->exec('ROLLBACK');
        throw $e;
    }
    if ($wait > 0) {
        return $wait;
    }
    if (!password_verify($password, (string)setting($db, 'password_hash'))) {
        return false;
    }
    $db->prepare('DELETE FROM login_failures WHERE client = ?')->execute([$client]);
    return true;
}

// Where a login goes on: this page by its own name, relative to where it was
// asked for, never an address taken from the request.
function own_page(): string
{
    $name = basename((string)($_SERVER['SCRIPT_NAME'] ?? ''));
    return preg_match('/^[A-Za-z0-9._-]+\.php$/', $name) ? $name : 'manage.php';
}

function form_token(PDO $db): string
{
    return signed($db, 'form' . (string)($_COOKIE[LOGIN_COOKIE] ?? ''));
}

function posted(string $name): string
{
    $value = $_POST[$name] ?? '';
    return is_string($value) ? str_replace("\r\n", "\n", $value) : '';
}

function page(string $title, string $content): void
{
    echo '<!DOCTYPE html><html><head><meta charset="utf-8"><title>' . html($title) . '</title>'
        . '<style>body{font-family:sans-serif;margin:2em}td,th{padding:.2em .6em;text-align:left;vertical-align:top}'
        . 'input[type=text],textarea{width:40em}.note{background:#ffd;padding:.5em}</style></head><body>'
        . $content . '</body></html>';
}

function login_form(string $note = ''): string
{
    return '<h1>News</h1>' . ($note === '' ? '' : '<p class="note">' . html($note) . '</p>')
        . '<form method="post"><input type="hidden" name="action" value="login">'
        . '<label>Password <input type="password" name="password" autofocus></label> '
        . '<button>Log in</button></form>';
}

function entry_form(PDO $db, array $row): string
{
    $levels = ['' => 'all levels', 'BM' => 'Master', 'BP' => 'Platinum', 'BG' => 'Gold'];
    $options = '';
    foreach ($levels as $code => $name) {
        $options .= '<option value="' . $code . '"' . ($row['prodtype'] === $code ? ' selected' : '') . '>'
            . $name . '</option>';
    }
    $isNew = $row['id'] === '';
    $fields = $isNew
        ? '<tr><th>Publisher id</th><td><input type="text" name="publisher" value="' . html($row['publisher'])
            . '"></td></tr><tr><th>Brand code</th><td><input type="text" name="brand" value="'
            . html($row['brand']) . '"></td></tr>'
        : '<tr><th>Entry</th><td>' . html($row['id']) . ' of ' . html($row['publisher']) . ', '
            . html($row['brand']) . '<input type="hidden" name="id" value="' . html($row['id']) . '"></td></tr>';
    return '<form method="post"><input type="hidden" name="token" value="' . form_token($db) . '">'
        . '<input type="hidden" name="action" value="' . ($isNew ? 'add' : 'edit') . '"><table>' . $fields
        . '<tr><th>Level</th><td><select name="level">' . $options . '</select></td></tr>'
        . '<tr><th>Title</th><td><input type="text" name="title" value="' . html($row['title']) . '"></td></tr>'
        . '<tr><th>Date</th><td><input type="text" name="date" value="' . html($row['published']) . '"></td></tr>'
        . '<tr><th>Body (HTML)</th><td><textarea name="body" rows="12">' . html($row['body'])
        . '</textarea></td></tr></table><button>' . ($isNew ? 'Add' : 'Save') . '</button></form>';
}

function news_table(PDO $db): string
{
    $rows = $db->query('SELECT id, publisher, brand, prodtype, published, title FROM news ORDER BY id DESC')
        ->fetchAll();
    $out = '<table><tr><th>Id</th><th>Publisher</th><th>Brand</th><th>Level</th><th>Date</th><th>Title</th>'
        . '<th></th></tr>';
    $token = form_token($db);
    foreach ($rows as $r) {
        $level = ['BM' => 'Master', 'BP' => 'Platinum', 'BG' => 'Gold'][$r['prodtype']] ?? 'all';
        $out .= '<tr><td>' . html((string)$r['id']) . '</td><td>' . html($r['publisher']) . '</td><td>'
            . html($r['brand']) . '</td><td>' . $level . '</td><td>' . html($r['published']) . '</td><td>'
            . html($r['title']) . '</td><td><a href="?edit=' . (int)$r['id'] . '">edit</a> '
            . '<form method="post" style="display:inline"><input type="hidden" name="token" value="' . $token
            . '"><input type="hidden" name="action" value="remove"><input type="hidden" name="id" value="'
            . (int)$r['id'] . '"><button>remove</button></form></td></tr>';
    }
    return $out . '</table>';
}

// Carries out a change; returns what to tell the publisher.
function change(PDO $db, string $action): string
{
    if ($action === 'remove') {
        $db->prepare('DELETE FROM news WHERE id = ?')->execute([(int)posted('id')]);
        return 'Removed entry ' . (int)posted('id') . '.';
    }
    $title = posted('title');
    $date = posted('date') === '' ? date('Y-m-d') : posted('date');
    $body = posted('body');
    $level = posted('level');
    foreach (['title' => $title, 'date' => $date] as $what => $value) {
        $problem = line_problem($value, $what);
        if ($problem !== null) {
            throw new RuntimeException($problem);
        }
    }
    if (!in_array($level, array_merge([''], LEVELS), true) || !is_utf8($title . $date . $body)
        || strlen($body) > MAX_BODY_BYTES) {
        throw new RuntimeException('The form is not valid.');
    }
    $notes = [];
    foreach (['Title' => $title, 'Date' => $date] as $what => $text) {
        title_to_wire($text, $replaced);
        foreach ($replaced as [, $column, $c]) {
            $notes[] = "$what: \"$c\" at column $column has no Windows-1252 byte; users see \"?\".";
        }
    }
    body_to_cp1252($body, $referenced);
    if ($referenced) {
        $notes[] = count($referenced) . ' characters of the body are sent as HTML references.';
    }
    if ($action === 'add') {
        $publisher = posted('publisher');
        $brand = posted('brand');
        foreach (['publisher identifier' => $publisher, 'brand code' => $brand] as $what => $value) {
            $problem = line_problem($value, $what);
            if ($problem !== null) {
                throw new RuntimeException($problem);
            }
        }
        $db->beginTransaction();
        $db->prepare('INSERT OR IGNORE INTO products (publisher, brand) VALUES (?, ?)')->execute([$publisher, $brand]);
        $db->prepare('INSERT INTO news (publisher, brand, prodtype, title, published, body) VALUES (?, ?, ?, ?, ?, ?)')
            ->execute([$publisher, $brand, $level, $title, $date, $body]);
        $id = $db->lastInsertId();
        $db->commit();
        return trim("Added entry $id. " . implode(' ', $notes));
    }
    $db->prepare('UPDATE news SET title = ?, published = ?, body = ?, prodtype = ? WHERE id = ?')
        ->execute([$title, $date, $body, $level, (int)posted('id')]);
    return trim('Changed entry ' . (int)posted('id') . '. ' . implode(' ', $notes));
}

function manage_page(): void
{
    header('Content-Type: text/html; charset=utf-8');
    header('X-Frame-Options: DENY');
    header("Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; form-action 'self'");
    header('Cache-Control: no-store');
    try {
        $config = config();
        $db = inside_web_root($config['database'], (string)($_SERVER['DOCUMENT_ROOT'] ?? ''))
            ? null : open_database($config['database']);
        if ($db === null || setting($db, 'password_hash') === null) {
            throw new RuntimeException('off');
        }
        foreach (LOGIN_SCHEMA as $statement) {
            $db->exec($statement);
        }
    } catch (PDOException | RuntimeException $e) {
        // Off, or nothing to manage: the page does not exist.
        http_response_code(404);
        return;
    }

    $action = posted('action');
    if ($action === 'login') {
        $client = (string)($_SERVER['REMOTE_ADDR'] ?? '');
        $outcome = try_password($db, $client, posted('password'), time());
        if (is_int($outcome)) {
            http_response_code(429);
            header('Retry-After: ' . $outcome);
            $minutes = (int)ceil($outcome / 60);
            page('News', login_form('Too many failed logins from your address. Try again in ' . $minutes
                . ($minutes === 1 ? ' minute.' : ' minutes.')));
            return;
        }
        if ($outcome === false) {
            sleep(1);
            http_response_code(403);
            page('News', login_form('Wrong password.'));
            return;
        }
        $until = time() + LOGIN_SECONDS;
        setcookie(LOGIN_COOKIE, new_login($db, $until), ['expires' => $until, 'httponly' => true,
            'samesite' => 'Strict', 'secure' => !empty($_SERVER['HTTPS']) && $_SERVER['HTTPS'] !== 'off']);
        header('Location: ' . own_page(), true, 303);
        return;
    }
    if (!logged_in($db)) {
        page('News', login_form());
        return;
    }
    $note = '';
    if ($action !== '') {
        if (!hash_equals(form_token($db), posted('token'))) {
            http_response_code(403);
            page('News', '<p class="note">The form has expired; load the page again.</p>');
            return;
        }
        if ($action === 'logout') {
            revoke_login($db);
            setcookie(LOGIN_COOKIE, '', ['expires' => 1, 'httponly' => true, 'samesite' => 'Strict']);
            page('News', login_form('Logged out.'));
            return;
        }
        try {
            $note = change($db, $action);
        } catch (RuntimeException $e) {
            http_response_code(400);
            $note = $e->getMessage();
        }
    }
    $editing = ['id' => '', 'publisher' => '', 'brand' => '', 'prodtype' => '', 'title' => '', 'published' => '',
        'body' => ''];
    $edit = $_GET['edit'] ?? '';
    if (is_string($edit) && preg_match('/^[0-9]{1,18}$/', $edit)) {
        $q = $db->prepare('SELECT * FROM news WHERE id = ?');
        $q->execute([(int)$edit]);
        $editing = array_map('strval', $q->fetch() ?: $editing);
    }
    page('News', '<h1>News</h1>' . ($note === '' ? '' : '<p class="note">' . html($note) . '</p>')
        . entry_form($db, $editing) . '<h2>Entries</h2>' . news_table($db)
        . '<form method="post"><input type="hidden" name="token" value="' . form_token($db) . '">'
        . '<input type="hidden" name="action" value="logout"><p><button>Log out</button></p></form>');
}
