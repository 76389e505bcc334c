/* The log file, the console's separator lines and the making of a directory. */
#ifndef FIRMWARE_LOGFILE_H
#define FIRMWARE_LOGFILE_H

/* Path of the log file the tool appends to. */
extern const char *logfile;

/* Appends msg unchanged to the log file (opened and closed per call); prints a
   complaint on standard output when the file cannot be opened. */
void _log(const char *msg);
/* Appends a line of 46 '=' to the log file. */
void _logline(void);
/* Prints a line of 46 '-' on standard output. */
void print_____________________________line(void);
/* Prints a title between two such lines. */
void print_title(const char *title);
/* 1 when dir exists or was created (one level), -1 when it cannot be created. */
int create_directory(const char *dir);

#endif
