-- Texts that come from the wire (pseudonyms, addresses, e-mail, web) are
-- Windows-1252 bytes and are stored as BLOBs so that SQLite never treats
-- them as UTF-8.
CREATE TABLE members (
    id           INTEGER PRIMARY KEY AUTOINCREMENT,
    pseudo       BLOB NOT NULL,          -- spelling as registered
    pseudo_key   BLOB NOT NULL UNIQUE,   -- letter case folded, for lookups
    salt         BLOB NOT NULL,
    digest_hash  BLOB NOT NULL,          -- SHA-256(salt || MD5 hex of the password)
    email        BLOB NOT NULL DEFAULT x'',
    web          BLOB NOT NULL DEFAULT x'',
    created_at   INTEGER NOT NULL
);

-- One row per member online. The address is the encoded text the member's
-- client sent at log-in; remote_addr is where its requests come from.
CREATE TABLE presence (
    member_id    INTEGER PRIMARY KEY REFERENCES members(id) ON DELETE CASCADE,
    address      BLOB NOT NULL,
    remote_addr  BLOB NOT NULL,
    since        INTEGER NOT NULL,
    last_seen    INTEGER NOT NULL
);
CREATE INDEX presence_remote ON presence(remote_addr);

-- Category 1: contacts; 2: blocked; 3: contact requests waiting for the owner.
CREATE TABLE contacts (
    owner_id     INTEGER NOT NULL REFERENCES members(id) ON DELETE CASCADE,
    category     INTEGER NOT NULL CHECK (category IN (1, 2, 3)),
    other_id     INTEGER NOT NULL REFERENCES members(id) ON DELETE CASCADE,
    added_at     INTEGER NOT NULL,
    PRIMARY KEY (owner_id, category, other_id)
);

CREATE TABLE avatars (
    member_id    INTEGER PRIMARY KEY REFERENCES members(id) ON DELETE CASCADE,
    jpeg         BLOB NOT NULL,
    updated_at   INTEGER NOT NULL
);

-- Markers of one-off jobs done on this database (the demo seeding).
CREATE TABLE service_state (
    name         TEXT PRIMARY KEY,
    value        INTEGER NOT NULL
);
