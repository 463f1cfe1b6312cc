<?php
// The news service's admin tool, for the command line only.
//
//   php admin.php [--database PATH] COMMAND [OPTIONS]
//
// Run "php admin.php help" for the commands.
declare(strict_types=1);

namespace TarnwickNews;

use PDO;
use PDOException;
use RuntimeException;

if (PHP_SAPI !== 'cli') {
    // Served by mistake: say nothing about it.
    http_response_code(404);
    exit;
}

require __DIR__ . '/lib/news.php';

const HELP = <<<'TEXT'
Usage: php admin.php [--database PATH] COMMAND [OPTIONS]

Keeps the news that the program shows. Titles, dates and bodies are stored as
UTF-8 and sent as Windows-1252: a character Windows-1252 cannot hold becomes
"?" in a title or date, and a numeric HTML reference (&#8594;) in a body. The
tool tells you when that happens.

Commands:
  init
      Creates the database (and its folder, readable by you only).
  add --publisher ID --brand CODE [--level LEVEL] --title TEXT
      [--date TEXT] --body-file FILE
      Adds an entry and prints its identifier. ID and CODE are the values of
      the settings MasterPublID (or PlatinumPublID, GoldPublID) and
      BranderCode of your dbsettings.dat. LEVEL is Master, Platinum or Gold
      for an entry shown at that level only; without it every level sees it.
      The date is shown as written (default: today, YYYY-MM-DD). FILE holds
      the HTML body, UTF-8 or Windows-1252; "-" reads it from the input.
  register --publisher ID --brand CODE
      Makes a publisher's brand known without adding news: the program then
      says there is no news instead of reporting a wrong Publisher Id.
  list [--publisher ID] [--brand CODE]
      Lists the entries, the newest first.
  show ID
      Prints the stored body of an entry.
  edit ID [--title TEXT] [--date TEXT] [--body-file FILE] [--level LEVEL]
      Changes an entry; its identifier stays. "--level all" shows it at every
      level. Users who have read the entry are not told again.
  remove ID
      Removes an entry. Its identifier is never given out again.
  password [--disable]
      Reads a password (at least 10 characters) from the input and turns on
      the admin page manage.php with it; every earlier login ends. With
      --disable the page is off again (it is off until a password is set).

Options:
  --database PATH  Use this database instead of the one in config.php (the
                   environment variable TARNWICK_NEWS_DB does the same).
Exit status: 0 done, 1 failed, 2 wrong usage.

TEXT;

final class UsageError extends RuntimeException
{
}

function say(string $text): void
{
    fwrite(STDOUT, $text . "\n");
}

function warn(string $text): void
{
    fwrite(STDERR, $text . "\n");
}

// "--name value" and "--name=value" options; the other words in order.
function parse_arguments(array $argv): array
{
    $options = [];
    $words = [];
    for ($i = 0; $i < count($argv); ++$i) {
        $a = $argv[$i];
        if ($a === '--help' || $a === '-h' || $a === '--disable') {
            $options[ltrim($a, '-') === 'h' ? 'help' : ltrim($a, '-')] = '';
        } elseif (strncmp($a, '--', 2) === 0 && strlen($a) > 2) {
            $eq = strpos($a, '=');
            if ($eq !== false) {
                $options[substr($a, 2, $eq - 2)] = substr($a, $eq + 1);
            } elseif ($i + 1 < count($argv)) {
                $options[substr($a, 2)] = $argv[++$i];
            } else {
                throw new UsageError("$a needs a value.");
            }
        } else {
            $words[] = $a;
        }
    }
    return [$options, $words];
}

function take_options(array $options, array $allowed): void
{
    foreach (array_keys($options) as $name) {
        if (!in_array($name, $allowed, true)) {
            throw new UsageError("Unknown option --$name for this command.");
        }
    }
}

// Text given by the publisher, as UTF-8. Input that is not UTF-8 is read as
// Windows-1252, and the note says so.
function publisher_text(string $bytes, string $what, array &$notes): string
{
    if (strncmp($bytes, "\xEF\xBB\xBF", 3) === 0) {
        $bytes = substr($bytes, 3);
    }
    if (is_utf8($bytes)) {
        return $bytes;
    }
    $notes[] = "$what is not valid UTF-8; it was read as Windows-1252.";
    return cp1252_to_utf8($bytes);
}

// A title or date: one line without "^", which would cut the entry in two.
function line_value(string $bytes, string $what, array &$notes): string
{
    $text = publisher_text($bytes, $what, $notes);
    $problem = line_problem($text, $what);
    if ($problem !== null) {
        throw new UsageError($problem);
    }
    return $text;
}

function body_value(string $file, array &$notes): string
{
    if ($file === '-') {
        $bytes = stream_get_contents(STDIN, MAX_BODY_BYTES + 1);
    } else {
        if (!is_file($file) || !is_readable($file)) {
            throw new UsageError("Cannot read the body file $file.");
        }
        if (filesize($file) > MAX_BODY_BYTES) {
            throw new UsageError("The body file $file is larger than " . MAX_BODY_BYTES . ' bytes.');
        }
        $bytes = file_get_contents($file);
    }
    if ($bytes === false || strlen($bytes) > MAX_BODY_BYTES) {
        throw new UsageError("Cannot read the body from $file, or it is larger than " . MAX_BODY_BYTES . ' bytes.');
    }
    return publisher_text($bytes, 'The body', $notes);
}

function level_value(string $level): string
{
    $names = ['master' => 'BM', 'platinum' => 'BP', 'gold' => 'BG', 'all' => ''];
    $key = strtolower($level);
    if (isset($names[$key])) {
        return $names[$key];
    }
    if (in_array(strtoupper($level), LEVELS, true)) {
        return strtoupper($level);
    }
    throw new UsageError("Unknown level \"$level\": use Master, Platinum, Gold or all.");
}

function level_name(string $prodtype): string
{
    return ['BM' => 'Master', 'BP' => 'Platinum', 'BG' => 'Gold'][$prodtype] ?? 'all';
}

function describe(string $character, int $cp): string
{
    $shown = $cp < 0x20 || ($cp >= 0x7F && $cp < 0xA0) ? '' : "\"$character\" ";
    return $shown . sprintf('(U+%04X)', $cp);
}

// What the conversion to Windows-1252 will change, for the publisher to see.
function report_conversion(string $title, string $date, ?string $body): array
{
    $lines = [];
    foreach (['Title' => $title, 'Date' => $date] as $what => $text) {
        title_to_wire($text, $replaced);
        foreach ($replaced as [, $column, $c, $cp]) {
            $lines[] = "$what: " . describe($c, $cp) . " at column $column has no Windows-1252 byte; users see \"?\".";
        }
    }
    if ($body !== null) {
        body_to_cp1252($body, $referenced);
        foreach (array_slice($referenced, 0, 10) as [$line, $column, $c, $cp]) {
            $lines[] = 'Body: ' . describe($c, $cp) . " at line $line, column $column is sent as &#$cp;.";
        }
        if (count($referenced) > 10) {
            $lines[] = 'Body: ' . (count($referenced) - 10) . ' more characters are sent as HTML references.';
        }
    }
    return $lines;
}

function entry_id(array $words): int
{
    if (count($words) !== 1 || !preg_match('/^[0-9]{1,18}$/', $words[0])) {
        throw new UsageError('Give the identifier of one entry (see "list").');
    }
    return (int)$words[0];
}

function find_entry(PDO $db, int $id): array
{
    $q = $db->prepare('SELECT * FROM news WHERE id = ?');
    $q->execute([$id]);
    $row = $q->fetch();
    if ($row === false) {
        throw new RuntimeException("There is no entry $id.");
    }
    return $row;
}

function register_product(PDO $db, string $publisher, string $brand): void
{
    $db->prepare('INSERT OR IGNORE INTO products (publisher, brand) VALUES (?, ?)')->execute([$publisher, $brand]);
}

function identity(array $options, array &$notes): array
{
    foreach (['publisher', 'brand'] as $name) {
        if (!isset($options[$name]) || $options[$name] === '') {
            throw new UsageError("--$name is required.");
        }
    }
    $publisher = line_value($options['publisher'], 'publisher identifier', $notes);
    $brand = line_value($options['brand'], 'brand code', $notes);
    return [$publisher, $brand];
}

function command_add(PDO $db, array $options, array $words): void
{
    take_options($options, ['publisher', 'brand', 'level', 'title', 'date', 'body-file']);
    if ($words) {
        throw new UsageError('add takes options only.');
    }
    $notes = [];
    [$publisher, $brand] = identity($options, $notes);
    foreach (['title', 'body-file'] as $name) {
        if (!isset($options[$name])) {
            throw new UsageError("--$name is required.");
        }
    }
    $title = line_value($options['title'], 'title', $notes);
    $date = line_value($options['date'] ?? date('Y-m-d'), 'date', $notes);
    $body = body_value($options['body-file'], $notes);
    $prodtype = isset($options['level']) ? level_value($options['level']) : '';

    $db->beginTransaction();
    register_product($db, $publisher, $brand);
    $db->prepare('INSERT INTO news (publisher, brand, prodtype, title, published, body) VALUES (?, ?, ?, ?, ?, ?)')
        ->execute([$publisher, $brand, $prodtype, $title, $date, $body]);
    $id = (int)$db->lastInsertId();
    $db->commit();

    foreach (array_merge($notes, report_conversion($title, $date, $body)) as $line) {
        warn($line);
    }
    say("Added entry $id for publisher $publisher, brand $brand, level " . level_name($prodtype) . '.');
}

function command_register(PDO $db, array $options, array $words): void
{
    take_options($options, ['publisher', 'brand']);
    if ($words) {
        throw new UsageError('register takes options only.');
    }
    $notes = [];
    [$publisher, $brand] = identity($options, $notes);
    register_product($db, $publisher, $brand);
    foreach ($notes as $line) {
        warn($line);
    }
    say("Publisher $publisher, brand $brand is known.");
}

function command_list(PDO $db, array $options, array $words): void
{
    take_options($options, ['publisher', 'brand']);
    if ($words) {
        throw new UsageError('list takes options only.');
    }
    $where = [];
    $values = [];
    foreach (['publisher' => 'publisher', 'brand' => 'brand'] as $option => $column) {
        if (isset($options[$option])) {
            $where[] = "$column = ?";
            $values[] = $options[$option];
        }
    }
    $sql = 'SELECT id, publisher, brand, prodtype, published, title FROM news'
        . ($where ? ' WHERE ' . implode(' AND ', $where) : '') . ' ORDER BY id DESC';
    $q = $db->prepare($sql);
    $q->execute($values);
    $rows = $q->fetchAll();
    if (!$rows) {
        say('No entries.');
        return;
    }
    say("ID\tPublisher\tBrand\tLevel\tDate\tTitle");
    foreach ($rows as $r) {
        say(implode("\t", [$r['id'], $r['publisher'], $r['brand'], level_name($r['prodtype']), $r['published'],
            $r['title']]));
    }
}

function command_show(PDO $db, array $options, array $words): void
{
    take_options($options, []);
    $row = find_entry($db, entry_id($words));
    fwrite(STDOUT, $row['body']);
}

function command_edit(PDO $db, array $options, array $words): void
{
    take_options($options, ['title', 'date', 'body-file', 'level']);
    $id = entry_id($words);
    $row = find_entry($db, $id);
    if (!$options) {
        throw new UsageError('Nothing to change: give --title, --date, --body-file or --level.');
    }
    $notes = [];
    $title = isset($options['title']) ? line_value($options['title'], 'title', $notes) : $row['title'];
    $date = isset($options['date']) ? line_value($options['date'], 'date', $notes) : $row['published'];
    $body = isset($options['body-file']) ? body_value($options['body-file'], $notes) : $row['body'];
    $prodtype = isset($options['level']) ? level_value($options['level']) : $row['prodtype'];
    $db->prepare('UPDATE news SET title = ?, published = ?, body = ?, prodtype = ? WHERE id = ?')
        ->execute([$title, $date, $body, $prodtype, $id]);
    foreach (array_merge($notes, report_conversion($title, $date, isset($options['body-file']) ? $body : null))
        as $line) {
        warn($line);
    }
    say("Changed entry $id.");
}

function command_remove(PDO $db, array $options, array $words): void
{
    take_options($options, []);
    $id = entry_id($words);
    find_entry($db, $id);
    $db->prepare('DELETE FROM news WHERE id = ?')->execute([$id]);
    say("Removed entry $id.");
}

function command_password(PDO $db, array $options, array $words): void
{
    take_options($options, ['disable']);
    if ($words) {
        throw new UsageError('password reads the password from the input.');
    }
    if (isset($options['disable'])) {
        set_setting($db, 'password_hash', null);
        say('The admin page is off.');
        return;
    }
    if (function_exists('posix_isatty') && posix_isatty(STDIN)) {
        fwrite(STDOUT, 'New password: ');
    }
    $password = rtrim((string)fgets(STDIN), "\r\n");
    if (strlen($password) < 10) {
        throw new UsageError('The password must have at least 10 characters.');
    }
    set_setting($db, 'password_hash', password_hash($password, PASSWORD_DEFAULT));
    set_setting($db, 'login_secret', bin2hex(random_bytes(32)));
    say('The admin page manage.php is on. Use it over https only.');
}

function main(array $argv): int
{
    try {
        [$options, $words] = parse_arguments(array_slice($argv, 1));
        $command = array_shift($words) ?? 'help';
        if ($command === 'help' || isset($options['help'])) {
            fwrite(STDOUT, HELP);
            return 0;
        }
        $database = $options['database'] ?? config()['database'];
        unset($options['database']);
        $commands = [
            'add' => __NAMESPACE__ . '\command_add',
            'register' => __NAMESPACE__ . '\command_register',
            'list' => __NAMESPACE__ . '\command_list',
            'show' => __NAMESPACE__ . '\command_show',
            'edit' => __NAMESPACE__ . '\command_edit',
            'remove' => __NAMESPACE__ . '\command_remove',
        ];
        if ($command === 'password') {
            // Databases made before the page existed get its table here.
            command_password(create_database($database), $options, $words);
            return 0;
        }
        if ($command === 'init') {
            take_options($options, []);
            create_database($database);
            say("The database is ready: $database");
            return 0;
        }
        if (!isset($commands[$command])) {
            throw new UsageError("Unknown command \"$command\".");
        }
        $commands[$command](open_database($database), $options, $words);
        return 0;
    } catch (UsageError $e) {
        warn('admin.php: ' . $e->getMessage());
        warn('Try "php admin.php help".');
        return 2;
    } catch (PDOException | RuntimeException $e) {
        warn('admin.php: ' . $e->getMessage());
        return 1;
    }
}

exit(main($argv));
