<?php
// The admin page manage.php under `php -S`: off until a password is set,
// nothing without a login, no change without the form's token, every value
// escaped, logging out ends the login on the server, a login goes on only to
// the page itself, and guessing is held off per client. Rows run in order on
// one database; the rules of guessing are also checked on a database of
// their own with a clock of their own.
//
//   php test_news_page.php SERVICE_FOLDER
declare(strict_types=1);
require __DIR__ . '/support.php';

$service = realpath($argv[1] ?? __DIR__ . '/../../publisher/news');
$work = scratch_folder();
$env = ['TARNWICK_NEWS_DB' => "$work/data/news.sqlite"];
$admin = fn (array $arguments, string $input = '') => run_php(array_merge(["$service/admin.php"], $arguments), $env,
    $input);
$admin(['init']);
file_put_contents("$work/body.html", '<p>x</p>');
$admin(['add', '--publisher', 'pub1', '--brand', 'BR', '--title', '<script>alert(1)</script>', '--body-file',
    "$work/body.html"]);
$server = new TestServer($service, $env, "$work/server.log");

// A request to the page: GET without fields, POST with urlencoded fields.
function request(TestServer $server, ?array $fields, string $cookie = '', string $query = ''): array
{
    $head = ($fields === null ? 'GET' : 'POST') . " /manage.php$query HTTP/1.0\r\nHost: 127.0.0.1\r\n"
        . ($cookie === '' ? '' : "Cookie: $cookie\r\n");
    if ($fields === null) {
        return $server->send($head . "\r\n");
    }
    $body = http_build_query($fields);
    return $server->send($head . "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
        . strlen($body) . "\r\n\r\n" . $body);
}

// A login posted to `$path` as written on the request line.
function login_at(TestServer $server, string $path, string $password): array
{
    $body = http_build_query(['action' => 'login', 'password' => $password]);
    return $server->send("POST $path HTTP/1.0\r\nHost: 127.0.0.1\r\n"
        . "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " . strlen($body) . "\r\n\r\n" . $body);
}

function location_of(string $head): ?string
{
    return preg_match('/^Location: (.*)$/mi', $head, $m) ? rtrim($m[1], "\r") : null;
}

function cookie_of(string $head): string
{
    return preg_match('/^Set-Cookie: (tarnwick_news_login=[^;]+)/mi', $head, $m) ? $m[1] : '';
}

function token_of(string $page): string
{
    return preg_match('/name="token" value="([0-9a-f]+)"/', $page, $m) ? $m[1] : '';
}

$state = ['cookie' => '', 'token' => ''];
$password = 'correct horse battery';
$rows = [
    ['off without a password', function () use ($server) {
        [$status, $body] = request($server, null);
        expect_same([$status, $body], [404, ''], 'answer');
    }],
    ['a short password is refused', function () use ($admin) {
        [$rc, , $err] = $admin(['password'], "short\n");
        expect_same($rc, 2, 'exit status');
        expect_contains($err, 'at least 10 characters', 'stderr');
    }],
    ['password set: the login form', function () use ($admin, $server, $password) {
        [$rc] = $admin(['password'], "$password\n");
        expect_same($rc, 0, 'exit status');
        [$status, $body] = request($server, null);
        expect_same($status, 200, 'status');
        expect_contains($body, 'name="password"', 'page');
        expect_same(str_contains($body, 'alert'), false, 'entries shown before login');
    }],
    ['a wrong password gives no login', function () use ($server) {
        [$status, $body, $head] = request($server, ['action' => 'login', 'password' => 'wrong password!']);
        expect_same([$status, cookie_of($head)], [403, ''], 'status and cookie');
        expect_contains($body, 'Wrong password.', 'page');
    }],
    ['a forged login is no login', function () use ($server) {
        $forged = 'tarnwick_news_login=' . (time() + 999) . '.' . str_repeat('0', 64);
        [, $body] = request($server, null, $forged);
        expect_contains($body, 'name="password"', 'page');
    }],
    ['the right password logs in', function () use ($server, $password, &$state) {
        [$status, , $head] = request($server, ['action' => 'login', 'password' => $password]);
        expect_same($status, 303, 'status');
        $state['cookie'] = cookie_of($head);
        expect_contains($head, 'HttpOnly', 'cookie flags');
        expect_contains($head, 'SameSite=Strict', 'cookie flags');
    }],
    ['logged in: entries listed, escaped', function () use ($server, &$state) {
        [$status, $body] = request($server, null, $state['cookie']);
        expect_same($status, 200, 'status');
        expect_contains($body, '&lt;script&gt;alert(1)&lt;/script&gt;', 'escaped title');
        expect_same(str_contains($body, '<script>'), false, 'raw script');
        $state['token'] = token_of($body);
    }],
    ['a change without the token is refused', function () use ($server, &$state) {
        [$status] = request($server, ['action' => 'remove', 'id' => '1'], $state['cookie']);
        expect_same($status, 403, 'status');
        [, $body] = request($server, null, $state['cookie']);
        expect_contains($body, 'alert(1)', 'entry still there');
    }],
    ['add through the page reaches the program', function () use ($server, &$state) {
        [$status, $body] = request($server, ['action' => 'add', 'token' => $state['token'], 'publisher' => 'pub1',
            'brand' => 'BR', 'level' => '', 'title' => 'Café ő', 'date' => '2026-12-09', 'body' => '<p>→</p>'],
            $state['cookie']);
        expect_same($status, 200, 'status');
        expect_contains($body, 'Added entry 2.', 'page');
        expect_contains($body, 'Title: &quot;ő&quot; at column 6', 'conversion note');
        [, $latest] = $server->post('/getlastnews.php', [['memusername', 'pub1'], ['prodcode', 'BR'],
            ['prodtype', 'BM'], ['conttype', 'lastcode'], ['newstarget', 'UA'], ['something', '']]);
        expect_same($latest, "2^Caf\xE9 ?\xAFOK", 'latest news');
    }],
    ['a title with "^" is refused', function () use ($server, &$state) {
        [$status, $body] = request($server, ['action' => 'edit', 'token' => $state['token'], 'id' => '2',
            'level' => '', 'title' => 'a^b', 'date' => 'd', 'body' => ''], $state['cookie']);
        expect_same($status, 400, 'status');
        expect_contains($body, 'cannot contain', 'page');
    }],
    ['remove with the token', function () use ($server, &$state) {
        [, $body] = request($server, ['action' => 'remove', 'token' => $state['token'], 'id' => '1'],
            $state['cookie']);
        expect_contains($body, 'Removed entry 1.', 'page');
        expect_same(str_contains($body, 'alert(1)'), false, 'entry gone');
    }],
    ['logging out ends the login on the server, not the others', function () use ($server, $password) {
        $cookies = [];
        foreach (['kept', 'ended'] as $which) {
            [$status, , $head] = request($server, ['action' => 'login', 'password' => $password]);
            expect_same($status, 303, "status of the $which login");
            $cookies[$which] = cookie_of($head);
        }
        expect_same($cookies['kept'] === $cookies['ended'], false, 'two logins of one second share a cookie');
        [, $page] = request($server, null, $cookies['ended']);
        $token = token_of($page);
        [, $body] = request($server, ['action' => 'logout', 'token' => $token], $cookies['ended']);
        expect_contains($body, 'Logged out.', 'page');
        // The browser forgets the cookie; a copy of it must not work either.
        [, $body] = request($server, null, $cookies['ended']);
        expect_contains($body, 'name="password"', 'page for the old cookie');
        [, $body] = request($server, ['action' => 'add', 'token' => $token, 'publisher' => 'pub1', 'brand' => 'BR',
            'level' => '', 'title' => 'After logout', 'date' => 'd', 'body' => ''], $cookies['ended']);
        expect_same(str_contains($body, 'Added entry'), false, 'change with the old cookie');
        [$status, $body] = request($server, null, $cookies['kept']);
        expect_same($status, 200, 'status of the other login');
        expect_contains($body, 'Log out', 'page of the other login');
        expect_same(str_contains($body, 'After logout'), false, 'entry added after logout');
    }],
    ['a database made before logins were kept still works', function () use ($server, $password, $work) {
        $db = new PDO('sqlite:' . "$work/data/news.sqlite");
        $db->exec('DROP TABLE logged_out');
        $db->exec('DROP TABLE login_failures');
        $db = null;
        [$status, , $head] = request($server, ['action' => 'login', 'password' => $password]);
        expect_same($status, 303, 'status');
        [$status, $body] = request($server, null, cookie_of($head));
        expect_same($status, 200, 'status');
        expect_contains($body, 'Log out', 'page');
    }],
];
// After a login the browser goes to the page by its own name, whatever the
// request line held.
foreach ([
    'plain' => '/manage.php',
    'with a query' => '/manage.php?next=http://evil.example/',
    'host in the path' => '//evil.example/..%2fmanage.php',
    'backslash' => '/\\evil.example/../manage.php',
] as $name => $path) {
    $rows[] = ["login posted to $name: back to the page only", function () use ($server, $password, $path) {
        [$status, , $head] = login_at($server, $path, $password);
        expect_same([$status, location_of($head)], [303, 'manage.php'], "status and Location for $path");
    }];
}
$rows = array_merge($rows, [
    ['guessing is held off after 5 failures, the right password too', function () use ($server, $password) {
        for ($i = 1; $i <= 5; ++$i) {
            [$status] = request($server, ['action' => 'login', 'password' => "wrong guess $i"]);
            expect_same($status, 403, "status of guess $i");
        }
        [$status, $body, $head] = request($server, ['action' => 'login', 'password' => $password]);
        expect_same([$status, cookie_of($head)], [429, ''], 'status and cookie');
        expect_contains($body, 'Too many failed logins from your address. Try again in 15 minutes.', 'page');
        expect_contains($head, 'Retry-After: ', 'head');
    }],
    ['a new password ends earlier logins', function () use ($admin, $server, &$state) {
        $admin(['password'], "another password\n");
        [, $body] = request($server, null, $state['cookie']);
        expect_contains($body, 'name="password"', 'page');
    }],
    ['--disable turns the page off', function () use ($admin, $server) {
        [$rc] = $admin(['password', '--disable']);
        expect_same($rc, 0, 'exit status');
        [$status] = request($server, null);
        expect_same($status, 404, 'status');
    }],
]);
foreach ($rows as [$name, $check]) {
    row($name, $check);
}

// The guessing rule alone, on a database of its own, at chosen times: each
// row is a list of [client, seconds from the start, right password?, what
// comes back: true, false, or the seconds to wait].
require "$service/lib/news.php";
require "$service/lib/manage.php";
$guesses = [
    'four failures, then the right password' => [['a', 0, false, false], ['a', 1, false, false],
        ['a', 2, false, false], ['a', 3, false, false], ['a', 4, true, true]],
    'the fifth failure holds off the sixth try' => [['a', 0, false, false], ['a', 0, false, false],
        ['a', 0, false, false], ['a', 0, false, false], ['a', 0, false, false], ['a', 10, true, 890]],
    'the wait ends as the oldest of five leaves the window' => [['a', 0, false, false],
        ['a', 100, false, false], ['a', 200, false, false], ['a', 300, false, false], ['a', 400, false, false],
        ['a', 899, true, 1], ['a', 900, false, false], ['a', 901, true, 99]],
    'another address is not held off' => [['a', 0, false, false], ['a', 0, false, false],
        ['a', 0, false, false], ['a', 0, false, false], ['a', 0, false, false], ['b', 1, true, true],
        ['a', 2, true, 898]],
    'a login clears the count' => [['a', 0, false, false], ['a', 0, false, false], ['a', 0, false, false],
        ['a', 0, false, false], ['a', 1, true, true], ['a', 2, false, false], ['a', 2, false, false],
        ['a', 2, false, false], ['a', 2, false, false], ['a', 3, true, true]],
    'held-off tries do not lengthen the wait' => [['a', 0, false, false], ['a', 0, false, false],
        ['a', 0, false, false], ['a', 0, false, false], ['a', 0, false, false], ['a', 500, false, 400],
        ['a', 899, false, 1], ['a', 900, true, true]],
];
$rule = 0;
foreach ($guesses as $name => $steps) {
    row("guessing rule: $name", function () use ($work, $steps, &$rule) {
        $db = TarnwickNews\create_database("$work/rule" . ++$rule . '.sqlite');
        TarnwickNews\set_setting($db, 'password_hash', password_hash('right password', PASSWORD_DEFAULT));
        $start = 2000000000;
        foreach ($steps as $i => [$client, $at, $right, $expected]) {
            $outcome = TarnwickNews\try_password($db, $client, $right ? 'right password' : 'wrong password',
                $start + $at);
            expect_same($outcome, $expected, "try $i of $client at +$at s");
        }
    });
}
exit(finish());
