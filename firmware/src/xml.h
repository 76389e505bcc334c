/* The discovery XML file: written by a discover run, read back by an upgrade run. */
#ifndef FIRMWARE_XML_H
#define FIRMWARE_XML_H

#include <cstddef>

#include "common.h"

/* Longest XML file path the tool takes, without its terminating NUL. */
#define XML_PATH_MAX 511
/* Trace switch of the reader; compiled in as 0. */
extern int debug_xml;
/* Both return an error count: 0 on success. */
int WriteToXml(const char *xmlfile, driveinfo *lst_drive);
/* The reader refuses, before parsing, a file larger than 64 KiB or holding a
   document type declaration, and logs why. */
int ReadFromXml(const char *xmlfile, driveinfo *lst_drive);
/* The same reader, with the same limits, over a document of `size` bytes in
   memory; it logs nothing. */
int ReadFromXmlBuffer(const char *data, size_t size, driveinfo *lst_drive);

#endif
