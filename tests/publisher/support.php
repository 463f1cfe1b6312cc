<?php
// A few helpers for the news service's tests: rows of cases, byte-exact
// comparisons, a scratch folder, and the PHP built-in server on loopback.
declare(strict_types=1);

final class CheckFailed extends RuntimeException
{
}

$GLOBALS['failures'] = 0;
$GLOBALS['passes'] = 0;

// Bytes as a reader can see them: printable ASCII kept, the rest as \xNN.
function visible(string $bytes): string
{
    return preg_replace_callback('/[^\x20-\x7E]/', fn ($m) => sprintf('\\x%02X', ord($m[0])), $bytes);
}

function expect_same($actual, $expected, string $what = 'value'): void
{
    if ($actual !== $expected) {
        $show = fn ($v) => is_string($v) ? '"' . visible($v) . '"' : var_export($v, true);
        throw new CheckFailed("$what\n    actual:   " . $show($actual) . "\n    expected: " . $show($expected));
    }
}

function expect_contains(string $haystack, string $needle, string $what): void
{
    if (!str_contains($haystack, $needle)) {
        throw new CheckFailed("$what\n    \"" . visible($needle) . "\" not in \"" . visible($haystack) . '"');
    }
}

// Runs one case; a failure is reported and counted, the others still run.
function row(string $name, callable $check): void
{
    try {
        $check();
        ++$GLOBALS['passes'];
        echo "PASS   $name\n";
    } catch (Throwable $e) {
        ++$GLOBALS['failures'];
        echo "FAIL!  $name\n    " . $e->getMessage() . "\n";
    }
}

function finish(): int
{
    echo "Totals: {$GLOBALS['passes']} passed, {$GLOBALS['failures']} failed\n";
    return $GLOBALS['failures'] === 0 ? 0 : 1;
}

function scratch_folder(): string
{
    $dir = sys_get_temp_dir() . '/tarnwick-news-test-' . getmypid() . '-' . bin2hex(random_bytes(4));
    mkdir($dir, 0700);
    register_shutdown_function(function () use ($dir) {
        exec('rm -rf ' . escapeshellarg($dir));
    });
    return $dir;
}

// Runs a PHP script of the service on the command line.
function run_php(array $arguments, array $environment = [], string $input = ''): array
{
    $command = array_merge([PHP_BINARY], $arguments);
    $env = array_merge(getenv(), $environment);
    $process = proc_open($command, [0 => ['pipe', 'r'], 1 => ['pipe', 'w'], 2 => ['pipe', 'w']], $pipes, null, $env);
    fwrite($pipes[0], $input);
    fclose($pipes[0]);
    $out = stream_get_contents($pipes[1]);
    $err = stream_get_contents($pipes[2]);
    fclose($pipes[1]);
    fclose($pipes[2]);
    return [proc_close($process), $out, $err];
}

final class TestServer
{
    public int $port;
    private $process;

    // `php -S` serving `$root` on a free loopback port, with `$environment`.
    public function __construct(string $root, array $environment, string $log)
    {
        $probe = stream_socket_server('tcp://127.0.0.1:0');
        $this->port = (int)substr(strrchr(stream_socket_get_name($probe, false), ':'), 1);
        fclose($probe);
        $env = array_merge(getenv(), $environment);
        $this->process = proc_open(
            [PHP_BINARY, '-S', '127.0.0.1:' . $this->port, '-t', $root],
            [0 => ['file', '/dev/null', 'r'], 1 => ['file', $log, 'a'], 2 => ['file', $log, 'a']],
            $pipes,
            null,
            $env
        );
        for ($i = 0; $i < 100; ++$i) {
            $s = @stream_socket_client('tcp://127.0.0.1:' . $this->port, $errno, $error, 1);
            if ($s) {
                fclose($s);
                return;
            }
            usleep(50000);
        }
        throw new RuntimeException('php -S did not start; see ' . $log);
    }

    public function __destruct()
    {
        proc_terminate($this->process);
        proc_close($this->process);
    }

    // Sends exactly these request bytes; returns [status, body].
    public function send(string $request): array
    {
        $s = stream_socket_client('tcp://127.0.0.1:' . $this->port, $errno, $error, 5);
        stream_set_timeout($s, 10);
        fwrite($s, $request);
        $answer = stream_get_contents($s);
        fclose($s);
        [$head, $body] = explode("\r\n\r\n", $answer, 2) + [1 => ''];
        preg_match('#^HTTP/\S+ (\d+)#', $head, $m);
        return [(int)($m[1] ?? 0), $body, $head];
    }

    // A POST of a multipart form with one part per [name, value], in order,
    // framed as the program frames it.
    public function post(string $path, array $fields): array
    {
        return $this->send(post_request($path, $fields));
    }
}

function multipart_body(array $fields, string $boundary): string
{
    $body = '';
    foreach ($fields as [$name, $value]) {
        $body .= "--$boundary\r\nContent-Disposition: form-data; name=\"$name\"\r\n\r\n$value\r\n";
    }
    return $body . "--$boundary--\r\n";
}

function post_request(string $path, array $fields): string
{
    $boundary = 'boundary_.oOo._MTIzNDU2Nzg5MA==';
    $body = multipart_body($fields, $boundary);
    return "POST $path HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\n"
        . "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)\r\n"
        . "Content-Type: multipart/form-data; boundary=\"$boundary\"\r\n"
        . 'Content-Length: ' . strlen($body) . "\r\nConnection: close\r\n\r\n" . $body;
}
