<?php
// Settings of the news service. Edit the values below; the environment
// variable TARNWICK_NEWS_DB, when set, takes the place of 'database'.
return [
    // The SQLite database. It must lie outside the folder your web server
    // serves, or anybody could download it: the default is a folder beside
    // this one ("news-data" next to the folder holding getlastnews.php).
    // The scripts refuse to use a database inside the web root.
    'database' => dirname(__DIR__) . '/news-data/news.sqlite',

    // At most this many entries are listed, the newest first.
    'list_limit' => 100,
];
