<?php
// The admin page behind manage.php. Logins are a signed cookie (no PHP
// sessions, which shared hosting does not always keep), every change carries
// a token tied to that cookie, and every value shown is escaped.
declare(strict_types=1);

namespace TarnwickNews;

use PDO;
use PDOException;
use RuntimeException;

const LOGIN_COOKIE = 'tarnwick_news_login';
const LOGIN_SECONDS = 8 * 3600;

function html(string $text): string
{
    return htmlspecialchars($text, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8');
}

function signed(PDO $db, string $what): string
{
    return hash_hmac('sha256', $what, (string)setting($db, 'login_secret'));
}

function logged_in(PDO $db): bool
{
    $cookie = $_COOKIE[LOGIN_COOKIE] ?? '';
    if (!is_string($cookie) || !preg_match('/^([0-9]{1,12})\.([0-9a-f]{64})$/', $cookie, $m)) {
        return false;
    }
    return (int)$m[1] > time() && hash_equals(signed($db, 'login' . $m[1]), $m[2]);
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
    } catch (PDOException | RuntimeException $e) {
        // Off, or nothing to manage: the page does not exist.
        http_response_code(404);
        return;
    }

    $action = posted('action');
    if ($action === 'login') {
        if (!password_verify(posted('password'), (string)setting($db, 'password_hash'))) {
            sleep(1);
            http_response_code(403);
            page('News', login_form('Wrong password.'));
            return;
        }
        $until = (string)(time() + LOGIN_SECONDS);
        $value = $until . '.' . signed($db, 'login' . $until);
        setcookie(LOGIN_COOKIE, $value, ['expires' => (int)$until, 'httponly' => true, 'samesite' => 'Strict',
            'secure' => !empty($_SERVER['HTTPS']) && $_SERVER['HTTPS'] !== 'off']);
        header('Location: ' . strtok((string)($_SERVER['REQUEST_URI'] ?? 'manage.php'), '?'), true, 303);
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
