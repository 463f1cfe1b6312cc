<?php
// The program's news list ("conttype" all) and newest entry ("conttype"
// lastcode) for a publisher's brand.
declare(strict_types=1);
require __DIR__ . '/lib/news.php';

TarnwickNews\serve(fn ($db, $post, $config) => TarnwickNews\answer_list($db, $post, $config['list_limit']));
