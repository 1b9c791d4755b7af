<?php
// A CalDAV server for the sync's tests and benchmark, from Debian's php-sabre-dav: its CalDAV
// plugin over the PDO SQLite backends, served by PHP's built-in server as its router script:
//   SABRE_DB=FILE SABRE_USER=NAME SABRE_PASSWORD=WORD php -S 127.0.0.1:PORT -t EMPTYDIR sabre_server.php
// The database is made on first use with the user's principal and nothing else, so the sync makes
// its own collection with MKCALENDAR. Basic authentication (SABRE_AUTH=digest asks for Digest
// instead, against the same user).

// The library is older than the PHP that runs it: its deprecation notices are not faults here.
error_reporting(E_ALL & ~E_DEPRECATED & ~E_NOTICE & ~E_STRICT);
ini_set('display_errors', '0');
ini_set('log_errors', '1');
date_default_timezone_set('UTC');
set_include_path('/usr/share/php' . PATH_SEPARATOR . get_include_path());
require_once 'Sabre/autoload.php';

$db = getenv('SABRE_DB');
$user = getenv('SABRE_USER') ?: 'alice';
$password = getenv('SABRE_PASSWORD') ?: 'journal-42';
$realm = 'quillidar-test';

$fresh = !file_exists($db);
$pdo = new \PDO('sqlite:' . $db);
$pdo->setAttribute(\PDO::ATTR_ERRMODE, \PDO::ERRMODE_EXCEPTION);
// Two requests at once (a proxy's retry beside the sync's own) wait for each other rather than
// fail with "database is locked".
$pdo->setAttribute(\PDO::ATTR_TIMEOUT, 20);
if ($fresh) {
    $sql = '/usr/share/doc/php-sabre-dav/examples/sql/';
    foreach (['sqlite.calendars.sql', 'sqlite.locks.sql'] as $file) {
        $pdo->exec(file_get_contents($sql . $file));
    }
    $pdo->exec('CREATE TABLE principals (id INTEGER PRIMARY KEY ASC, uri TEXT, email TEXT, displayname TEXT,
                vcardurl TEXT, UNIQUE(uri))');
    $pdo->exec('CREATE TABLE groupmembers (id INTEGER PRIMARY KEY ASC, principal_id INTEGER,
                member_id INTEGER, UNIQUE(principal_id, member_id))');
    $pdo->exec('CREATE TABLE users (id integer primary key asc, username TEXT, digesta1 TEXT, UNIQUE(username))');
    $add = $pdo->prepare('INSERT INTO principals (uri, email, displayname) VALUES (?, NULL, ?)');
    foreach (['', '/calendar-proxy-read', '/calendar-proxy-write'] as $suffix) {
        $add->execute(["principals/$user$suffix", $suffix === '' ? $user : null]);
    }
    $pdo->prepare('INSERT INTO users (username, digesta1) VALUES (?, ?)')
        ->execute([$user, md5("$user:$realm:$password")]);
    // The objects are looked up by collection and name on every request.
    $pdo->exec('CREATE INDEX objects_by_uri ON calendarobjects (calendarid, uri)');
}

class FixedBasicAuth extends \Sabre\DAV\Auth\Backend\AbstractBasic {
    private $user;
    private $password;
    public function __construct($user, $password) {
        $this->user = $user;
        $this->password = $password;
    }
    protected function validateUserPass($username, $password) {
        return hash_equals($this->user, (string) $username) && hash_equals($this->password, (string) $password);
    }
}

$authBackend = getenv('SABRE_AUTH') === 'digest' ? new \Sabre\DAV\Auth\Backend\PDO($pdo)
                                                   : new FixedBasicAuth($user, $password);
$calendarBackend = new \Sabre\CalDAV\Backend\PDO($pdo);
$principalBackend = new \Sabre\DAVACL\PrincipalBackend\PDO($pdo);

$server = new \Sabre\DAV\Server([
    new \Sabre\CalDAV\Principal\Collection($principalBackend),
    new \Sabre\CalDAV\CalendarRootNode($principalBackend, $calendarBackend),
]);
$server->setBaseUri('/');
$server->addPlugin(new \Sabre\DAV\Auth\Plugin($authBackend, $realm));
$server->addPlugin(new \Sabre\DAVACL\Plugin());
$server->addPlugin(new \Sabre\CalDAV\Plugin());
// One line a request, for writing up what the sync sent and got: the method, the path, the status.
if ($log = getenv('SABRE_REQUEST_LOG')) {
    register_shutdown_function(function () use ($log) {
        file_put_contents($log, sprintf("%s %s %d\n", $_SERVER['REQUEST_METHOD'], $_SERVER['REQUEST_URI'],
                                        http_response_code()), FILE_APPEND | LOCK_EX);
    });
}
$server->exec();
