#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

// One row of each table. Text is UTF-8 as it comes from the user interface; times are whole
// seconds since the Unix epoch.

struct PatientRecord
{
    int id = 0;
    std::string name;
    std::string surname;
    std::string fiscalCode;
    bool isMale = false;
    bool archived = false;
    uint8_t height = 0; // cm
    uint8_t weight = 0; // kg
    int64_t birthDate = 0; // midnight UTC of the birth date
    std::string status; // "FREE", "OPEN", "LOADED"
    std::string note;
};

struct UserRecord
{
    int id = 0;
    std::string name;
    std::string surname;
    std::string username;
    std::string password; // lower-case hex MD5 digest, see passwordDigest()
    std::string role; // "nurse" has restricted rights
};

struct SessionRecord
{
    int id = 0;
    std::string patientFC;
    std::string status; // "OPEN", "LOADED", "ANALYZED"
    int whoOpenedID = 0;
    int whoImportedID = 0;
    int whoAnalyzedID = 0;
    int64_t startRecDate = 0;
    int64_t startSetupDate = 0;
    int64_t importDate = 0;
    int64_t reportGenerationDate = 0;
    std::string reportPathName;
    std::string dataPathName; // session folder under the data folder
    std::string calibration;
    int64_t endRecDate = 0;
};

// The stored form of a review event.
struct AnnotationRecord
{
    int m_id = 0;
    int m_index = 0;
    std::string m_validator;
    int64_t m_dateStart = 0;
    int64_t m_dateEnd = 0;
    int64_t m_dateMax = 0;
    float m_valueMax = 0.0f;
    std::string m_type;
    std::string m_status;
    std::string m_family;
    std::string m_channel;
    int m_sessionId = 0;
    std::string m_sourceId;

    // Diagnostic dump, one member per line, written as one block (to standard output by default).
    void print() const;
    void print(std::ostream &out) const;
};
