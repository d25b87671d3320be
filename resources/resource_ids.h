/* Identifiers of the dialog controls, shared by the resource script and the Win32 front end.
   Plain defines, so that the resource compiler can read them. */
#ifndef VORLANTH_RESOURCE_IDS_H
#define VORLANTH_RESOURCE_IDS_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDC_COM_PORT_BOX 101
#define IDC_ADDRESS_BOX 102
#define IDC_PORT_BOX 103
#define IDC_FILE_NAME_BOX 104
#define IDC_BROWSE_BUTTON 201
#define IDC_OK_BUTTON 202
#define IDC_COMM_TYPE_BOX 301
#define IDC_BAUD_RATE_BOX 302
#define IDC_FILE_TYPE_BOX 303
#define IDC_COM_PORT_LABEL 401
#define IDC_BAUD_RATE_LABEL 402
#define IDC_ADDRESS_LABEL 403
#define IDC_PORT_LABEL 404
#define IDC_COM_PORT_UPDOWN 501
#define IDC_PROGRESS_BAR 550

#endif
