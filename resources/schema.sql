-- Schema of krnDb.db. Times are whole seconds since the Unix epoch.

CREATE TABLE PATIENTS (
    id INTEGER PRIMARY KEY,
    name TEXT,
    surname TEXT,
    fiscalcode TEXT NOT NULL UNIQUE,
    sex TEXT,
    archived INTEGER NOT NULL DEFAULT 0,
    height INTEGER,
    weight INTEGER,
    birthdate INTEGER,
    status TEXT,
    note TEXT
);

-- Several users may share a user name; login tries each of them.
CREATE TABLE USERS (
    id INTEGER PRIMARY KEY,
    name TEXT,
    surname TEXT,
    username TEXT NOT NULL,
    password TEXT NOT NULL,
    role TEXT
);

-- A corrected fiscal code carries the patient's sessions along; a patient with sessions cannot
-- be deleted.
CREATE TABLE SESSIONS (
    id INTEGER PRIMARY KEY,
    patientFC TEXT NOT NULL REFERENCES PATIENTS (fiscalcode) ON UPDATE CASCADE,
    status TEXT,
    whoOpenedID INTEGER,
    whoImportedID INTEGER,
    whoAnalyzedID INTEGER,
    startRecDate INTEGER,
    startSetupDate INTEGER,
    importDate INTEGER,
    reportGenerationDate INTEGER,
    reportPathName TEXT,
    dataPathName TEXT,
    calibration TEXT,
    endRecDate INTEGER
);

CREATE INDEX SESSIONS_PATIENT ON SESSIONS (patientFC);

CREATE TABLE ANNOTATIONS (
    id INTEGER PRIMARY KEY,
    "index" INTEGER,
    who_validated TEXT,
    date_start INTEGER,
    date_end INTEGER,
    date_max INTEGER,
    value_max REAL,
    type TEXT,
    status TEXT,
    family TEXT,
    channel TEXT,
    session_id INTEGER REFERENCES SESSIONS (id),
    source_id TEXT
);

CREATE INDEX ANNOTATIONS_SESSION ON ANNOTATIONS (session_id);
