#pragma once
// Resource ids. Strings are Polish in the add-in itself; a language library may replace them.

// Public category file: path, FTP and HTTP.
#define IDS_PUBLIC_FILE_CREATE_QUESTION 2017
#define IDS_FTP_FILE_UNAVAILABLE 2021
#define IDS_INVALID_PATH 2039
#define IDS_NOT_A_TEXT_FILE 2040
#define IDS_SAVE_PUBLIC_FAILED 2041
#define IDS_UNSUPPORTED_PROTOCOL 2042
#define IDS_SERVER_CONNECTION_FAILED 2043
#define IDS_CANNOT_OPEN_FILE 2045
#define IDS_UNEXPECTED_INTERNET_ERROR 2046
#define IDS_HTTP_FILE_READ_ONLY 2048
#define IDS_NO_EDIT_RIGHTS 2050
#define IDS_FILE_STATUS_FAILED 2051
#define IDS_FILE_DOES_NOT_EXIST 2052
#define IDS_HTTP_CANNOT_CREATE 2053
#define IDS_CANNOT_CREATE_TEMP_FILE 2054
#define IDS_SERVER_CREATE_FAILED 2055
#define IDS_FILE_CREATE_FAILED 2056

// Windows Firewall rule for Outlook.
#define IDS_FIREWALL_RULE_FAILED 2057

// Failures the add-in reports that have no older message of their own.
#define IDS_HTTP_ERROR_STATUS 2100
#define IDS_TRANSFER_INCOMPLETE 2101
