<?php
// The admin page: lists, adds, changes and removes news in a browser. It is
// off until "php admin.php password" sets a password; use it over https.
declare(strict_types=1);
require __DIR__ . '/lib/news.php';
require __DIR__ . '/lib/manage.php';

TarnwickNews\manage_page();
