<?php
// The HTML body of one news entry, for the program's news window.
declare(strict_types=1);
require __DIR__ . '/lib/news.php';

TarnwickNews\serve(fn ($db, $post, $config) => TarnwickNews\answer_details($db, $post));
