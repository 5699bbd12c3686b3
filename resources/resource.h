/* Resource names and control ids shared by q7.rc and the code. */
#ifndef Q7_RESOURCE_H
#define Q7_RESOURCE_H

#define IDS_CAPTION 1
#define IDS_DEFAULT_PATH 2
#define IDS_SOURCE_DIR 3

/* Main window */
#define ID_PLAY 100
#define ID_INSTALL 200
#define ID_EXIT 300

/* Destination dialog */
#define ID_START 400
#define ID_DIR 401
#define ID_CANCEL 402
#define ID_SIZE_LINE 500

/* Copy dialog (its cancel button shares ID_CANCEL) */
#define ID_WELL 600

#define ID_STATIC_TEXT -1

#endif
