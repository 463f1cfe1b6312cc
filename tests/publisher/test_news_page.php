<?php
// The admin page manage.php under `php -S`: off until a password is set,
// nothing without a login, no change without the form's token, every value
// escaped. Rows run in order on one database.
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
];
foreach ($rows as [$name, $check]) {
    row($name, $check);
}
exit(finish());
