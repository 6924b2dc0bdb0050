/**
 * @file QV_Rizoviv2I_RO25.h
 * @brief Public interface of the RO25 2D imager library (libQV_Rizoviv2I_RO25).
 *
 * Plain C: needs C99 or later, or C++11 or later (char16_t comes from
 * <uchar.h>, which glibc has in every mode); nothing it expands to trips
 * -Wold-style-cast. Link with
 * `pkg-config --cflags --libs qvimager` or the CMake target
 * `QVImager::QV_Rizoviv2I_RO25`.
 *
 * @section qv_calling Calling rules
 *
 * - Every function returns 1 when done and -1 when not done: no imager open,
 *   device suspended, wrong thread, or the operation failed. After a -1,
 *   QVPlatformGetLastFailure() of the platform library (QVPlatform.h) gives
 *   the calling thread an errno-style code and a line naming the device,
 *   path or command and the system's reason; the library's "[RO25]"
 *   diagnostic lines tell more.
 * - A process that ends normally (returns from main, calls exit()) with the
 *   imager open has it closed as QVImagerClose() would, so the engine is
 *   left powered off. A child made with fork() gets -1 (ECHILD) from every
 *   function while its parent has the imager open, and its exit leaves the
 *   parent's imager alone.
 * - Call QVImagerOpen() first and QVImagerClose() last. Every export but
 *   QVImagerOpen() returns -1 while no engine is open or while the device is
 *   suspended (QVImagerClose() with nothing to close returns 1).
 * - The functions must not be called from two threads at once. Simplest:
 *   call them all from one thread, the application's main loop.
 * - Barcodes are delivered on the library's reader thread, not on the
 *   application's: the callback given to QVImagerScanStart() runs there, and
 *   while it runs no further frame is read from the engine, so no command
 *   reply either. Keep it short: copy the text and hand it to your own
 *   thread, never wait there for that thread.
 * - The reader thread runs at real-time priority (SCHED_RR, priority 10)
 *   where the process may raise it (CAP_SYS_NICE or an RLIMIT_RTPRIO), else at
 *   normal priority; the callback runs at that priority too, so a callback
 *   that spins or does heavy work starves the application's ordinary
 *   threads.
 * - Do not guard the library with a mutex that the callback also takes: a
 *   thread holding it inside a command (a settings Get or Set waits for the
 *   engine's reply, which only the reader thread reads) blocks the reader in
 *   the callback, and the command runs into its time-out (3 s) instead. Let
 *   the callback only copy and hand over, or better, use no callback: set a
 *   window of the application's thread with QVImagerSetWindow() and take the
 *   barcodes as #WM_IMAGER_DATA messages on that thread. A main loop of its
 *   own (GLib, Qt, asyncio, poll) watches QVPlatformGetMessageDescriptor()
 *   of the platform library and drains it with QVPlatformPeekMessage() and
 *   QVPlatformDispatchMessage() (see QVPlatform.h); this is the recommended
 *   way for an application with its own loop.
 * - QVImagerOpen() takes about a second and every settings read or write
 *   waits for the engine's reply (typically a few hundred milliseconds): a
 *   program with a user interface calls them from a worker thread (the only
 *   one that calls the library then) or accepts the pause.
 * - The callback, like the #WM_IMAGER_DATA message, is used only after a
 *   target window has been set with QVImagerSetWindow(); with no window the
 *   barcode is dropped.
 * - Each #WM_IMAGER_DATA message owns its text: its lParam points at that
 *   barcode's own zero-terminated text, which stays valid and unchanged
 *   until the receiving thread takes its next message (with
 *   QVPlatformGetMessage() or QVPlatformPeekMessage() removing one; a
 *   handler that runs a message loop of its own takes messages too), however
 *   many barcodes come meanwhile. A loop that takes its messages late still
 *   gets every text, once, in order. Copy the text to keep it longer; never
 *   free it. Each waiting message holds its text (2 bytes per UTF-16 unit
 *   plus the terminator, at most 2 KiB) until it is taken; a thread that
 *   never takes its messages keeps them until it ends or its window is
 *   destroyed, up to 10000 waiting barcodes, after which further barcodes
 *   are not posted (the log says so) until it takes some.
 * - The callback's text stays valid for the whole callback and is
 *   overwritten by a later barcode: copy it to keep it; never free it.
 * - The text is UTF-16; convert it where it is taken (the callback or the
 *   message's handler), not later.
 * - From the callback, these may be called: the delivery options kept in the
 *   registry (receive type, sound, prefix, suffix, delay, their Get
 *   functions), QVImagerSetWindow(), QVImagerScanStart() and
 *   QVImagerScanStop(). QVImagerOpen(), QVImagerClose() and every function
 *   that exchanges a command with the engine (the symbology Get/Set
 *   functions, the whole records, QVImagerGetVersion(), QVImagerTestCommand(),
 *   QVImagerFactoryReset()) return -1 there at once: only the reader thread
 *   could read the reply, and a close would wait for the very thread it runs on.
 * - QVImagerOpen() and QVImagerClose() called from a window procedure while an
 *   open or close of the same thread dispatches messages return -1.
 * - QVImagerClose() waits at most one second for the reader, handling
 *   messages sent to its thread meanwhile. A callback still running then is
 *   left to finish on its own; the library stays safe for it.
 * - Settings sent to the engine are saved in "BarcodeRO25Enable.dat",
 *   "BarcodeRO25Detail.dat" and "BarcodeRO25Other.dat" in the application's
 *   directory (see QVPlatformSetApplicationDirectory()) and applied again at
 *   every QVImagerOpen(). The delivery options live in the registry file
 *   (QV_REGISTRY, by default ~/.local/state/qvimager/registry.reg).
 */
#ifndef QV_RIZOVIV2I_RO25_H
#define QV_RIZOVIV2I_RO25_H

#include <stdint.h>
#ifdef __cplusplus
#include <cstddef>
#else
#include <stddef.h>
#include <uchar.h>
#endif

/* Version of this header and of the library it comes with. The major number
 * is the library's soname (libQV_Rizoviv2I_RO25.so.0). */
/** Major version; also the soname's number. */
#define QV_IMAGER_VERSION_MAJOR 0
/** Minor version. */
#define QV_IMAGER_VERSION_MINOR 1
/** Patch version. */
#define QV_IMAGER_VERSION_PATCH 0
/** The version as text, "MAJOR.MINOR.PATCH". */
#define QV_IMAGER_VERSION_STRING "0.1.0"
/** One number that compares in release order: 0xMMmmpp. */
#define QV_IMAGER_VERSION \
    ((QV_IMAGER_VERSION_MAJOR << 16) | (QV_IMAGER_VERSION_MINOR << 8) | QV_IMAGER_VERSION_PATCH)

#if defined(QV_BUILDING_LIBRARY)
#define QV_API __attribute__((visibility("default")))
#else
#define QV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** Opaque window handle of the platform's window stand-in (pointer-sized). */
typedef struct QVWindow_* QVHWND;

/**
 * Barcode callback named with QVImagerScanStart(): called on the library's
 * reader thread with the symbology number (a QV_SYM_ value) and the
 * zero-terminated UTF-16 text of a decoded barcode. See @ref qv_calling for
 * how long the text stays valid and what the callback may call.
 */
typedef void (*BarcodeCallback)(int32_t symbology, const char16_t* text);

/**
 * Window message posted for each barcode under receive type 0:
 * wParam = symbology number, lParam = address of the zero-terminated UTF-16
 * text, the message's own (see @ref qv_calling for how long it stays valid).
 */
#define WM_IMAGER_DATA 0x0464

/**
 * Window message posted to the window set with QVImagerSetWindow() when the
 * engine's serial device goes away (an adapter unplugged, the line hung up,
 * a read error) or the device of its power lines does (a GPIO chip removed),
 * whatever the receive type: wParam = 0, lParam = 0. A command waiting for
 * its reply fails at once, no barcode comes any more, and every export but
 * QVImagerOpen() and QVImagerClose() returns -1; the serial device is closed
 * at once, so an adapter plugged back in keeps its name. Close the imager,
 * and open it again once the device is back.
 */
#define WM_IMAGER_DEVICE_LOST 0x0465

/**
 * @name Symbology numbers
 * As reported with each barcode and as taken by QVImagerSetSymboleEnable()
 * and QVImagerGetSymboleEnable().
 * @{
 */
#define QV_SYM_AUSTRALIAN_POST 1                /**< Australian Post */
#define QV_SYM_AZTEC 2                          /**< Aztec */
#define QV_SYM_BPO 3                            /**< Bpo */
#define QV_SYM_CODABAR 6                        /**< Codabar */
#define QV_SYM_CODABLOCK_A 113                  /**< Codablock A */
#define QV_SYM_CODABLOCK_F 114                  /**< Codablock F */
#define QV_SYM_CODE11 8                         /**< Code11 */
#define QV_SYM_CODE39 12                        /**< Code39 */
#define QV_SYM_MACROPDF 71                      /**< Macropdf */
#define QV_SYM_CODE93 14                        /**< Code93 */
#define QV_SYM_CODE128 9                        /**< Code128 */
#define QV_SYM_GS1_128 55                       /**< Gs1 128 */
#define QV_SYM_ISBT 23                          /**< Isbt */
#define QV_SYM_DATAMATRIX 17                    /**< Datamatrix */
#define QV_SYM_DUTCH_POST 18                    /**< Dutch Post */
#define QV_SYM_UPC_A 43                         /**< Upc A */
#define QV_SYM_UPC_E 44                         /**< Upc E */
#define QV_SYM_EAN_13 20                        /**< Ean 13 */
#define QV_SYM_EAN_8 19                         /**< Ean 8 */
#define QV_SYM_GS1_COMPOSITE_AB 132             /**< Gs1 Composite Ab */
#define QV_SYM_GS1_COMPOSITE_C 133              /**< Gs1 Composite C */
#define QV_SYM_GS1_DATABAR_OMNI_DIRECTIONAL 121 /**< Gs1 Databar Omni Directional */
#define QV_SYM_GS1_DATABAR_LIMITED 130          /**< Gs1 Databar Limited */
#define QV_SYM_GS1_DATABAR_EXPAND 129           /**< Gs1 Databar Expand */
#define QV_SYM_HAN_XIN 56                       /**< Han Xin */
#define QV_SYM_INFOMAIL 122                     /**< Infomail */
#define QV_SYM_INTERLEAVED_2OF5 22              /**< Interleaved 2Of5 */
#define QV_SYM_JAPAN_POST 24                    /**< Japan Post */
#define QV_SYM_MATRIX_2OF5 52                   /**< Matrix 2Of5 */
#define QV_SYM_MAXICODE 26                      /**< Maxicode */
#define QV_SYM_MSI 29                           /**< Msi */
#define QV_SYM_PDF417 32                        /**< Pdf417 */
#define QV_SYM_MICRO_PDF 28                     /**< Micro Pdf */
#define QV_SYM_PLANET_CODE 33                   /**< Planet Code */
#define QV_SYM_PLESSEY 34                       /**< Plessey */
#define QV_SYM_POST_NET 36                      /**< Post Net */
#define QV_SYM_QR 37                            /**< Qr */
#define QV_SYM_STANDARD_2OF5 134                /**< Standard 2Of5 */
#define QV_SYM_TELEPEN 40                       /**< Telepen */
#define QV_SYM_TLC39 41                         /**< Tlc39 */
#define QV_SYM_UPC_E1 45                        /**< Upc E1 */
/** @} */

/**
 * Enable record: one on (1) / off (0) field per symbology, in this order
 * (164 bytes). Each field is named after its QV_SYM_ number.
 */
typedef struct EnableRecord {
    int32_t AUSTRALIAN_POST_ENABLE;  /**< QV_SYM_AUSTRALIAN_POST on or off */
    int32_t AZTEC_ENABLE;            /**< QV_SYM_AZTEC on or off */
    int32_t BPO_ENABLE;              /**< QV_SYM_BPO on or off */
    int32_t CODABAR_ENABLE;          /**< QV_SYM_CODABAR on or off */
    int32_t CODABLOCK_A_ENABLE;      /**< QV_SYM_CODABLOCK_A on or off */
    int32_t CODABLOCK_F_ENABLE;      /**< QV_SYM_CODABLOCK_F on or off */
    int32_t CODE11_ENABLE;           /**< QV_SYM_CODE11 on or off */
    int32_t CODE39_ENABLE;           /**< QV_SYM_CODE39 on or off */
    int32_t MACROPDF_ENABLE;         /**< QV_SYM_MACROPDF on or off */
    int32_t CODE93_ENABLE;           /**< QV_SYM_CODE93 on or off */
    int32_t CODE128_ENABLE;          /**< QV_SYM_CODE128 on or off */
    int32_t GS1_128_ENABLE;          /**< QV_SYM_GS1_128 on or off */
    int32_t ISBT_ENABLE;             /**< QV_SYM_ISBT on or off */
    int32_t DATAMATRIX_ENABLE;       /**< QV_SYM_DATAMATRIX on or off */
    int32_t DUTCH_POST_ENABLE;       /**< QV_SYM_DUTCH_POST on or off */
    int32_t UPC_A_ENABLE;            /**< QV_SYM_UPC_A on or off */
    int32_t UPC_E_ENABLE;            /**< QV_SYM_UPC_E on or off */
    int32_t EAN_13_ENABLE;           /**< QV_SYM_EAN_13 on or off */
    int32_t EAN_8_ENABLE;            /**< QV_SYM_EAN_8 on or off */
    int32_t GS1_COMPOSITE_AB_ENABLE; /**< QV_SYM_GS1_COMPOSITE_AB on or off */
    int32_t GS1_COMPOSITE_C_ENABLE;  /**< QV_SYM_GS1_COMPOSITE_C on or off */
    int32_t
        GS1_DATABAR_OMNI_DIRECTIONAL_ENABLE; /**< QV_SYM_GS1_DATABAR_OMNI_DIRECTIONAL on or off */
    int32_t GS1_DATABAR_LIMITED_ENABLE;      /**< QV_SYM_GS1_DATABAR_LIMITED on or off */
    int32_t GS1_DATABAR_EXPAND_ENABLE;       /**< QV_SYM_GS1_DATABAR_EXPAND on or off */
    int32_t HAN_XIN_ENABLE;                  /**< QV_SYM_HAN_XIN on or off */
    int32_t INFOMAIL_ENABLE;                 /**< QV_SYM_INFOMAIL on or off */
    int32_t INTERLEAVED_2OF5_ENABLE;         /**< QV_SYM_INTERLEAVED_2OF5 on or off */
    int32_t JAPAN_POST_ENABLE;               /**< QV_SYM_JAPAN_POST on or off */
    int32_t MATRIX_2OF5_ENABLE;              /**< QV_SYM_MATRIX_2OF5 on or off */
    int32_t MAXICODE_ENABLE;                 /**< QV_SYM_MAXICODE on or off */
    int32_t MSI_ENABLE;                      /**< QV_SYM_MSI on or off */
    int32_t PDF417_ENABLE;                   /**< QV_SYM_PDF417 on or off */
    int32_t MICRO_PDF_ENABLE;                /**< QV_SYM_MICRO_PDF on or off */
    int32_t PLANET_CODE_ENABLE;              /**< QV_SYM_PLANET_CODE on or off */
    int32_t PLESSEY_ENABLE;                  /**< QV_SYM_PLESSEY on or off */
    int32_t POST_NET_ENABLE;                 /**< QV_SYM_POST_NET on or off */
    int32_t QR_ENABLE;                       /**< QV_SYM_QR on or off */
    int32_t STANDARD_2OF5_ENABLE;            /**< QV_SYM_STANDARD_2OF5 on or off */
    int32_t TELEPEN_ENABLE;                  /**< QV_SYM_TELEPEN on or off */
    int32_t TLC39_ENABLE;                    /**< QV_SYM_TLC39 on or off */
    int32_t UPC_E1_ENABLE;                   /**< QV_SYM_UPC_E1 on or off */
} EnableRecord;

/**
 * Detail record: per-symbology options (288 bytes). Fields are named after
 * the Set/Get pair that covers them and their argument position, e.g.
 * Code39_2 is the second argument of QVImagerSetCode39Setting(). Character
 * slots carry the character in their first byte; the filler is not used.
 */
typedef struct DetailRecord {
    int32_t Aztec_1;                /**< argument 1 of QVImagerSetAztecSetting() */
    int32_t Aztec_2;                /**< argument 2 of QVImagerSetAztecSetting() */
    int32_t Aztec_3;                /**< argument 3 of QVImagerSetAztecSetting() */
    int32_t Aztec_4;                /**< argument 4 of QVImagerSetAztecSetting() */
    int32_t BPO_1;                  /**< argument 1 of QVImagerSetBPOSetting() */
    int32_t Codabar_1;              /**< argument 1 of QVImagerSetCodabarSetting() */
    int32_t Codabar_2;              /**< argument 2 of QVImagerSetCodabarSetting() */
    int32_t Codabar_3;              /**< argument 3 of QVImagerSetCodabarSetting() */
    int32_t Codabar_4;              /**< argument 4 of QVImagerSetCodabarSetting() */
    int32_t Codabar_5;              /**< argument 5 of QVImagerSetCodabarSetting() */
    int32_t Codabar_6;              /**< argument 6 of QVImagerSetCodabarSetting() */
    int32_t Code11_1;               /**< argument 1 of QVImagerSetCode11Setting() */
    int32_t Code39_1;               /**< argument 1 of QVImagerSetCode39Setting() */
    int32_t Code39_2;               /**< argument 2 of QVImagerSetCode39Setting() */
    int32_t Code39_3;               /**< argument 3 of QVImagerSetCode39Setting() */
    int32_t Code39_4;               /**< argument 4 of QVImagerSetCode39Setting() */
    int32_t Code93_1;               /**< argument 1 of QVImagerSetCode93Setting() */
    int32_t Code128_GS1_128_ISBT_1; /**< argument 1 of QVImagerSetCode128_GS1_128_ISBTSetting() */
    int32_t Code128_GS1_128_ISBT_2; /**< argument 2 of QVImagerSetCode128_GS1_128_ISBTSetting() */
    int32_t Code128_GS1_128_ISBT_3; /**< argument 3 of QVImagerSetCode128_GS1_128_ISBTSetting() */
    int32_t Code128_GS1_128_ISBT_4; /**< argument 4 of QVImagerSetCode128_GS1_128_ISBTSetting() */
    int32_t Code128_GS1_128_ISBT_5; /**< argument 5 of QVImagerSetCode128_GS1_128_ISBTSetting() */
    int32_t Code128_GS1_128_ISBT_6; /**< argument 6 of QVImagerSetCode128_GS1_128_ISBTSetting() */
    char Code128_GS1_128_ISBT_7;    /**< argument 7 of QVImagerSetCode128_GS1_128_ISBTSetting() */
    char Code128_GS1_128_ISBT_7_filler[3]; /**< unused */
    int32_t Code128_GS1_128_ISBT_8;  /**< argument 8 of QVImagerSetCode128_GS1_128_ISBTSetting() */
    int32_t Code128_GS1_128_ISBT_9;  /**< argument 9 of QVImagerSetCode128_GS1_128_ISBTSetting() */
    int32_t Code128_GS1_128_ISBT_10; /**< argument 10 of QVImagerSetCode128_GS1_128_ISBTSetting() */
    int32_t DataMatrix_1;            /**< argument 1 of QVImagerSetDataMatrixSetting() */
    int32_t DataMatrix_2;            /**< argument 2 of QVImagerSetDataMatrixSetting() */
    int32_t DataMatrix_3;            /**< argument 3 of QVImagerSetDataMatrixSetting() */
    int32_t UPCA_1;                  /**< argument 1 of QVImagerSetUPCASetting() */
    int32_t UPCA_2;                  /**< argument 2 of QVImagerSetUPCASetting() */
    int32_t UPCA_3;                  /**< argument 3 of QVImagerSetUPCASetting() */
    int32_t UPCE_1;                  /**< argument 1 of QVImagerSetUPCESetting() */
    int32_t UPCE_2;                  /**< argument 2 of QVImagerSetUPCESetting() */
    int32_t UPCE_3;                  /**< argument 3 of QVImagerSetUPCESetting() */
    int32_t EAN13_1;                 /**< argument 1 of QVImagerSetEAN13Setting() */
    int32_t EAN13_2;                 /**< argument 2 of QVImagerSetEAN13Setting() */
    int32_t EAN13_3;                 /**< argument 3 of QVImagerSetEAN13Setting() */
    int32_t EAN13_4;                 /**< argument 4 of QVImagerSetEAN13Setting() */
    int32_t EAN8_1;                  /**< argument 1 of QVImagerSetEAN8Setting() */
    int32_t EAN8_2;                  /**< argument 2 of QVImagerSetEAN8Setting() */
    int32_t UPCEAN_1;                /**< argument 1 of QVImagerSetUPCEANSetting() */
    int32_t UPCEAN_2;                /**< argument 2 of QVImagerSetUPCEANSetting() */
    int32_t UPCEAN_3;                /**< argument 3 of QVImagerSetUPCEANSetting() */
    int32_t UPCEAN_4;                /**< argument 4 of QVImagerSetUPCEANSetting() */
    char UPCEAN_5;                   /**< argument 5 of QVImagerSetUPCEANSetting() */
    char UPCEAN_5_filler[3];         /**< unused */
    int32_t UPCEAN_6;                /**< argument 6 of QVImagerSetUPCEANSetting() */
    int32_t GS1Composite_1;          /**< argument 1 of QVImagerSetGS1CompositeSetting() */
    int32_t GS1Composite_2;          /**< argument 2 of QVImagerSetGS1CompositeSetting() */
    int32_t GS1Composite_3;          /**< argument 3 of QVImagerSetGS1CompositeSetting() */
    int32_t Interleaved2of5_1;       /**< argument 1 of QVImagerSetInterleaved2of5Setting() */
    int32_t Interleaved2of5_2;       /**< argument 2 of QVImagerSetInterleaved2of5Setting() */
    int32_t Interleaved2of5_3;       /**< argument 3 of QVImagerSetInterleaved2of5Setting() */
    int32_t Matrix2of5_1;            /**< argument 1 of QVImagerSetMatrix2of5Setting() */
    int32_t MSI_1;                   /**< argument 1 of QVImagerSetMSISetting() */
    int32_t PDF417_1;                /**< argument 1 of QVImagerSetPDF417Setting() */
    int32_t PDF417_2;                /**< argument 2 of QVImagerSetPDF417Setting() */
    int32_t PDF417_3;                /**< argument 3 of QVImagerSetPDF417Setting() */
    int32_t MicroPDF_1;              /**< argument 1 of QVImagerSetMicroPDFSetting() */
    int32_t Planet_1;                /**< argument 1 of QVImagerSetPlanetSetting() */
    int32_t Plessey_1;               /**< argument 1 of QVImagerSetPlesseySetting() */
    int32_t Plessey_2;               /**< argument 2 of QVImagerSetPlesseySetting() */
    int32_t Postnet_1;               /**< argument 1 of QVImagerSetPostnetSetting() */
    int32_t QRCode_1;                /**< argument 1 of QVImagerSetQRCodeSetting() */
    int32_t QRCode_2;                /**< argument 2 of QVImagerSetQRCodeSetting() */
    int32_t Standard2of5_1;          /**< argument 1 of QVImagerSetStandard2of5Setting() */
    int32_t Standard2of5_2;          /**< argument 2 of QVImagerSetStandard2of5Setting() */
    int32_t Standard2of5_3;          /**< argument 3 of QVImagerSetStandard2of5Setting() */
    int32_t Telepen_1;               /**< argument 1 of QVImagerSetTelepenSetting() */
    int32_t TLC39_1;                 /**< argument 1 of QVImagerSetTLC39Setting() */
    char TLC39_2;                    /**< argument 2 of QVImagerSetTLC39Setting() */
    char TLC39_2_filler[3];          /**< unused */
} DetailRecord;

/**
 * Other record: general engine options (100 bytes). Fields without an
 * export of their own are named after their engine parameter (group 0x7B).
 */
typedef struct OtherRecord {
    int32_t SECURITY_LEVEL;           /**< QVImagerSetSecurtyLevel() */
    int32_t PARAM_7B_44;              /**< engine parameter 0x7B 0x44 */
    int32_t AEC_AREA;                 /**< QVImagerSetAECArea() */
    int32_t PARAM_7B_57;              /**< engine parameter 0x7B 0x57 */
    int32_t PARAM_7B_53;              /**< engine parameter 0x7B 0x53 */
    int32_t PARAM_7B_4D;              /**< engine parameter 0x7B 0x4D */
    int32_t DPM_1;                    /**< argument 1 of QVImagerSetDPMSetting() */
    int32_t DPM_2;                    /**< argument 2 of QVImagerSetDPMSetting() */
    int32_t EXTENSIVE_BARCODE_SEARCH; /**< QVImagerSetExtensiveBarcodeSearch() */
    int32_t DPM_3;                    /**< argument 3 of QVImagerSetDPMSetting() */
    int32_t PARAM_7B_43;              /**< engine parameter 0x7B 0x43 */
    int32_t PARAM_7B_45;              /**< engine parameter 0x7B 0x45 */
    int32_t PARAM_7B_46;              /**< engine parameter 0x7B 0x46 */
    int32_t PARAM_7B_82;              /**< engine parameter 0x7B 0x82 */
    int32_t PARAM_7B_83;              /**< engine parameter 0x7B 0x83 */
    int32_t PARAM_7B_48;              /**< engine parameter 0x7B 0x48 */
    int32_t PARAM_7B_49;              /**< engine parameter 0x7B 0x49 */
    int32_t PARAM_7B_40;              /**< engine parameter 0x7B 0x40 */
    int32_t PARAM_7B_47;              /**< engine parameter 0x7B 0x47 */
    int32_t PARAM_7B_42;              /**< engine parameter 0x7B 0x42 */
    int32_t PARAM_7B_41;              /**< engine parameter 0x7B 0x41 */
    int32_t PARAM_7B_55;              /**< engine parameter 0x7B 0x55 */
    int32_t PARAM_7B_A0;              /**< engine parameter 0x7B 0xA0 */
    int32_t PARAM_7B_A1;              /**< engine parameter 0x7B 0xA1 */
    int32_t PARAM_7B_A2;              /**< engine parameter 0x7B 0xA2 */
} OtherRecord;

/** @cond */
#ifdef __cplusplus
static_assert(sizeof(EnableRecord) == 164, "EnableRecord is 164 bytes");
static_assert(sizeof(DetailRecord) == 288, "DetailRecord is 288 bytes");
static_assert(sizeof(OtherRecord) == 100, "OtherRecord is 100 bytes");
#else
_Static_assert(sizeof(EnableRecord) == 164, "EnableRecord is 164 bytes");
_Static_assert(sizeof(DetailRecord) == 288, "DetailRecord is 288 bytes");
_Static_assert(sizeof(OtherRecord) == 100, "OtherRecord is 100 bytes");
#endif
/** @endcond */

/** @name Target window
 * @{ */
/**
 * @brief Names the window that receives the #WM_IMAGER_DATA message of each barcode.
 *
 * Needed under receive type 0 also when a callback is used: without a window
 * the callback is not called either.
 *
 * @param window a window of the platform stand-in (QVPlatformCreateWindow());
 *        null stops message delivery
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerSetWindow(QVHWND window);
/** @} */

/** @name Open, close and scan
 * @{ */
/**
 * @brief Opens the imager: powers the engine through "BAR1:", opens the serial
 * line, starts the reader thread and applies the stored settings.
 *
 * An imager already open is closed first. The call blocks the caller for at
 * least 500 ms, dispatching the calling thread's window messages during the
 * first 300 ms; an engine that does not answer makes it wait for each
 * command's 3 s time-out. The device comes from the environment (see the
 * platform documentation: QV_PORT_COM2, QV_DRIVER_BAR1).
 *
 * @return 1 when the engine is powered and the line is open (also when the
 *         engine did not answer the initialisation); -1 when the driver or the
 *         line cannot be opened, and from the barcode callback.
 */
QV_API int32_t QVImagerOpen(void);
/**
 * @brief Closes the imager: stops the reader thread, closes the line, writes the
 * prefix and suffix to the registry and powers the engine off.
 *
 * Works also while the device is suspended.
 *
 * @return 1 when closed or when nothing was open; -1 after a failed
 *         QVImagerOpen() (that engine stays until the next open) and from the
 *         barcode callback.
 */
QV_API int32_t QVImagerClose(void);
/**
 * @brief Starts a scan: asserts the engine's trigger line. The scan ends with
 * the first decoded barcode or with QVImagerScanStop().
 *
 * @param callback called on the reader thread with each barcode (see
 *        ::BarcodeCallback); null delivers by the active receive type instead
 *        (window message under type 0). A window must be set in either case.
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerScanStart(BarcodeCallback callback);
/**
 * @brief Ends a scan without a barcode: releases the trigger line.
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerScanStop(void);
/** @} */

/**
 * @name Delivery options
 * How a barcode reaches the application, and the good-read and failed-read
 * notifications. Kept in the registry key "VARN\\QV_BarcodeAPI"; changes are
 * written at once. For the sound exports, `which` 1 is the good read and any
 * other value the failed read. These exports may be called from the barcode
 * callback.
 * @{
 */
/**
 * @brief Sets how barcodes are handed over, and stores it.
 * @param type 0 window message or callback, 1 simulated key strokes, 2 the
 *        clipboard (1 and 2 framed by the prefix and suffix keys), 3 none
 *        (the notification still happens)
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerSetReceiveType(int32_t type);
/**
 * @brief Reads the stored receive type.
 *
 * Right after QVImagerOpen() this is the stored value, while delivery is by
 * window message until QVImagerSetReceiveType() is called.
 * @param[out] type receives the stored receive type
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerGetReceiveType(int32_t* type);
/**
 * @brief Sets and stores the notification of a good or a failed read.
 * @param which 1 good read, other failed read
 * @param type 0 none, 1 play the sound file, 2 flash LED 0 for 300 ms, 3 both
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerSetSoundType(int32_t which, int32_t type);
/**
 * @brief Reads the stored notification type.
 * @param which 1 good read, other failed read
 * @param[out] type receives the stored type
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerGetSoundType(int32_t which, int32_t* type);
/**
 * @brief Sets and stores the sound file of a good or a failed read.
 * @param which 1 good read, other failed read
 * @param path zero-terminated UTF-16 path, at most 511 units
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerSetSoundPath(int32_t which, const char16_t* path);
/**
 * @brief Reads the sound file path.
 * @param which 1 good read, other failed read
 * @param[out] path buffer of 512 UTF-16 units; receives the zero-terminated path
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerGetSoundPath(int32_t which, char16_t* path);
/**
 * @brief Sets the first prefix key sent ahead of a barcode under receive types 1 and 2.
 * @param value the key; its low 8 bits are kept (0 none)
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerSetPrefix1(int32_t value);
/**
 * @brief Sets the second prefix key.
 * @param value the key; its low 8 bits are kept (0 none)
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerSetPrefix2(int32_t value);
/**
 * @brief Reads the first prefix key.
 * @param[out] value receives the key; set to 0 first, so a refused call leaves 0
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerGetPrefix1(uint8_t* value);
/**
 * @brief Reads the second prefix key.
 * @param[out] value receives the key; set to 0 first, so a refused call leaves 0
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerGetPrefix2(uint8_t* value);
/**
 * @brief Sets the first suffix key sent after a barcode under receive types 1 and 2.
 * @param value the key; its low 8 bits are kept (0 none)
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerSetSuffix1(int32_t value);
/**
 * @brief Sets the second suffix key.
 * @param value the key; its low 8 bits are kept (0 none)
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerSetSuffix2(int32_t value);
/**
 * @brief Reads the first suffix key.
 * @param[out] value receives the key; left as it was when the call is refused
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerGetSuffix1(uint8_t* value);
/**
 * @brief Reads the second suffix key.
 * @param[out] value receives the key; left as it was when the call is refused
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerGetSuffix2(uint8_t* value);
/**
 * @brief Sets the pause between simulated key strokes, and stores it.
 * @param mode 0 no pause, 1 100 ms, 2 10 ms, 3 1 ms (the mode at every open),
 *        4 keeps the current pause, 5 the given milliseconds
 * @param milliseconds the pause of mode 5, limited to 0..1000
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerSetDelay(int32_t mode, int32_t milliseconds);
/**
 * @brief Reads the key-stroke delay.
 *
 * The outputs are filled whenever an imager was opened, also when the call
 * then returns -1 because the open failed or the device is suspended.
 * @param[out] mode receives the delay mode
 * @param[out] milliseconds receives the effective delay in milliseconds
 * @return 1 when done, else -1 (see @ref qv_calling).
 * @note Needs an open imager; may be called from the barcode callback.
 */
QV_API int32_t QVImagerGetDelay(int32_t* mode, int32_t* milliseconds);
/** @} */

/**
 * @name Enable switches and whole records
 * Each exchanges a command with the engine. A change is saved to its
 * settings file once the engine has taken it and applied again at every
 * QVImagerOpen(). A Get writes its output only when it returns 1.
 * @{
 */
/**
 * @brief Switches every symbology on or off at once.
 * @param value 1 on, 0 off (written into all 41 fields of the Enable record)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetALLSymboleEnable(int32_t value);
/**
 * @brief Switches one symbology on or off.
 *
 * The library sends the flag from its copy of the Enable record, which is also
 * what it saves: read the engine's flags first (any Get of the Enable record)
 * so that the others keep their state.
 * @param symbology a QV_SYM_ number
 * @param value 1 on, 0 off
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetSymboleEnable(int32_t symbology, int32_t value);
/**
 * @brief Reads whether one symbology is on.
 * @param symbology a QV_SYM_ number
 * @param[out] value receives 1 on, 0 off
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetSymboleEnable(int32_t symbology, int32_t* value);
/**
 * @brief Sends the whole Enable record.
 * @param record every symbology's flag
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetSymboleEnableByStruct(EnableRecord record);
/**
 * @brief Reads the whole Enable record from the engine.
 * @param[out] record receives the 164 bytes
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetSymboleEnableByStruct(EnableRecord* record);
/**
 * @brief Sends the whole Detail record.
 * @param record every per-symbology option
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetSymboleDetailByStruct(DetailRecord record);
/**
 * @brief Reads the whole Detail record from the engine.
 * @param[out] record receives the 288 bytes
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetSymboleDetailByStruct(DetailRecord* record);
/**
 * @brief Sends the whole Other record.
 * @param record every general option
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetOtherSettingByStruct(OtherRecord record);
/**
 * @brief Reads the whole Other record from the engine.
 * @param[out] record receives the 100 bytes
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetOtherSettingByStruct(OtherRecord* record);
/** @} */

/**
 * @name Per-symbology settings
 * Each pair reads or changes the Detail record fields named STEM_1,
 * STEM_2, ... in order, where STEM is the name between QVImagerSet and
 * Setting.
 * @{
 */
/**
 * @brief Changes the Aztec options: Detail record fields Aztec_1 to Aztec_4.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Aztec_1 (engine parameter 0x53 0x43)
 * @param v2 value of field Aztec_2 (engine parameter 0x53 0x42)
 * @param v3 value of field Aztec_3 (engine parameter 0x53 0x41)
 * @param v4 value of field Aztec_4 (engine parameter 0x53 0x46)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetAztecSetting(int32_t v1, int32_t v2, int32_t v3, int32_t v4);
/**
 * @brief Reads the Aztec options from the engine: Detail record fields Aztec_1 to Aztec_4.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Aztec_1 (engine parameter 0x53 0x43)
 * @param[out] v2 receives the value of field Aztec_2 (engine parameter 0x53 0x42)
 * @param[out] v3 receives the value of field Aztec_3 (engine parameter 0x53 0x41)
 * @param[out] v4 receives the value of field Aztec_4 (engine parameter 0x53 0x46)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetAztecSetting(int32_t* v1, int32_t* v2, int32_t* v3, int32_t* v4);
/**
 * @brief Changes the BPO option: Detail record field BPO_1.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field BPO_1 (engine parameter 0x32 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetBPOSetting(int32_t v1);
/**
 * @brief Reads the BPO option from the engine: Detail record field BPO_1.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field BPO_1 (engine parameter 0x32 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetBPOSetting(int32_t* v1);
/**
 * @brief Changes the Codabar options: Detail record fields Codabar_1 to Codabar_6.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Codabar_1 (engine parameter 0x40 0x58)
 * @param v2 value of field Codabar_2 (engine parameter 0x40 0x4C)
 * @param v3 value of field Codabar_3 (engine parameter 0x40 0x54)
 * @param v4 value of field Codabar_4 (engine parameter 0x40 0x59)
 * @param v5 value of field Codabar_5 (engine parameter 0x40 0x5A)
 * @param v6 value of field Codabar_6 (engine parameter 0x40 0x5B)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetCodabarSetting(int32_t v1, int32_t v2, int32_t v3, int32_t v4, int32_t v5,
                                         int32_t v6);
/**
 * @brief Reads the Codabar options from the engine: Detail record fields Codabar_1 to Codabar_6.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Codabar_1 (engine parameter 0x40 0x58)
 * @param[out] v2 receives the value of field Codabar_2 (engine parameter 0x40 0x4C)
 * @param[out] v3 receives the value of field Codabar_3 (engine parameter 0x40 0x54)
 * @param[out] v4 receives the value of field Codabar_4 (engine parameter 0x40 0x59)
 * @param[out] v5 receives the value of field Codabar_5 (engine parameter 0x40 0x5A)
 * @param[out] v6 receives the value of field Codabar_6 (engine parameter 0x40 0x5B)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetCodabarSetting(int32_t* v1, int32_t* v2, int32_t* v3, int32_t* v4,
                                         int32_t* v5, int32_t* v6);
/**
 * @brief Changes the Code 11 option: Detail record field Code11_1.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Code11_1 (engine parameter 0x4A 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetCode11Setting(int32_t v1);
/**
 * @brief Reads the Code 11 option from the engine: Detail record field Code11_1.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Code11_1 (engine parameter 0x4A 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetCode11Setting(int32_t* v1);
/**
 * @brief Changes the Code 39 options: Detail record fields Code39_1 to Code39_4.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Code39_1 (engine parameter 0x42 0x47)
 * @param v2 value of field Code39_2 (engine parameter 0x42 0x4F)
 * @param v3 value of field Code39_3 (engine parameter 0x42 0x58)
 * @param v4 value of field Code39_4 (engine parameter 0x42 0x43)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetCode39Setting(int32_t v1, int32_t v2, int32_t v3, int32_t v4);
/**
 * @brief Reads the Code 39 options from the engine: Detail record fields Code39_1 to Code39_4.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Code39_1 (engine parameter 0x42 0x47)
 * @param[out] v2 receives the value of field Code39_2 (engine parameter 0x42 0x4F)
 * @param[out] v3 receives the value of field Code39_3 (engine parameter 0x42 0x58)
 * @param[out] v4 receives the value of field Code39_4 (engine parameter 0x42 0x43)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetCode39Setting(int32_t* v1, int32_t* v2, int32_t* v3, int32_t* v4);
/**
 * @brief Changes the Code 93 option: Detail record field Code93_1.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Code93_1 (engine parameter 0x41 0x61)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetCode93Setting(int32_t v1);
/**
 * @brief Reads the Code 93 option from the engine: Detail record field Code93_1.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Code93_1 (engine parameter 0x41 0x61)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetCode93Setting(int32_t* v1);
/**
 * @brief Changes the Code 128 / GS1-128 / ISBT options: Detail record fields Code128_GS1_128_ISBT_1
 * to Code128_GS1_128_ISBT_10.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Code128_GS1_128_ISBT_1 (engine parameter 0x43 0x4C)
 * @param v2 value of field Code128_GS1_128_ISBT_2 (engine parameter 0x43 0x43)
 * @param v3 value of field Code128_GS1_128_ISBT_3 (engine parameter 0x43 0x58)
 * @param v4 value of field Code128_GS1_128_ISBT_4 (engine parameter 0x43 0x60)
 * @param v5 value of field Code128_GS1_128_ISBT_5 (engine parameter 0x43 0x5B)
 * @param v6 value of field Code128_GS1_128_ISBT_6 (engine parameter 0x43 0x5A)
 * @param v7 character of field Code128_GS1_128_ISBT_7 (engine parameter 0x43 0x59)
 * @param v8 value of field Code128_GS1_128_ISBT_8 (engine parameter 0x43 0x47)
 * @param v9 value of field Code128_GS1_128_ISBT_9 (engine parameter 0x43 0x4F)
 * @param v10 value of field Code128_GS1_128_ISBT_10 (engine parameter 0x43 0x61)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetCode128_GS1_128_ISBTSetting(int32_t v1, int32_t v2, int32_t v3,
                                                      int32_t v4, int32_t v5, int32_t v6, char v7,
                                                      int32_t v8, int32_t v9, int32_t v10);
/**
 * @brief Reads the Code 128 / GS1-128 / ISBT options from the engine: Detail record fields
 * Code128_GS1_128_ISBT_1 to Code128_GS1_128_ISBT_10.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Code128_GS1_128_ISBT_1 (engine parameter 0x43 0x4C)
 * @param[out] v2 receives the value of field Code128_GS1_128_ISBT_2 (engine parameter 0x43 0x43)
 * @param[out] v3 receives the value of field Code128_GS1_128_ISBT_3 (engine parameter 0x43 0x58)
 * @param[out] v4 receives the value of field Code128_GS1_128_ISBT_4 (engine parameter 0x43 0x60)
 * @param[out] v5 receives the value of field Code128_GS1_128_ISBT_5 (engine parameter 0x43 0x5B)
 * @param[out] v6 receives the value of field Code128_GS1_128_ISBT_6 (engine parameter 0x43 0x5A)
 * @param[out] v7 receives the character of field Code128_GS1_128_ISBT_7 (engine parameter 0x43
 * 0x59)
 * @param[out] v8 receives the value of field Code128_GS1_128_ISBT_8 (engine parameter 0x43 0x47)
 * @param[out] v9 receives the value of field Code128_GS1_128_ISBT_9 (engine parameter 0x43 0x4F)
 * @param[out] v10 receives the value of field Code128_GS1_128_ISBT_10 (engine parameter 0x43 0x61)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetCode128_GS1_128_ISBTSetting(int32_t* v1, int32_t* v2, int32_t* v3,
                                                      int32_t* v4, int32_t* v5, int32_t* v6,
                                                      char* v7, int32_t* v8, int32_t* v9,
                                                      int32_t* v10);
/**
 * @brief Changes the Data Matrix options: Detail record fields DataMatrix_1 to DataMatrix_3.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field DataMatrix_1 (engine parameter 0x54 0x43)
 * @param v2 value of field DataMatrix_2 (engine parameter 0x54 0x45)
 * @param v3 value of field DataMatrix_3 (engine parameter 0x54 0x46)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetDataMatrixSetting(int32_t v1, int32_t v2, int32_t v3);
/**
 * @brief Reads the Data Matrix options from the engine: Detail record fields DataMatrix_1 to
 * DataMatrix_3.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field DataMatrix_1 (engine parameter 0x54 0x43)
 * @param[out] v2 receives the value of field DataMatrix_2 (engine parameter 0x54 0x45)
 * @param[out] v3 receives the value of field DataMatrix_3 (engine parameter 0x54 0x46)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetDataMatrixSetting(int32_t* v1, int32_t* v2, int32_t* v3);
/**
 * @brief Changes the UPC-A options: Detail record fields UPCA_1 to UPCA_3.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field UPCA_1 (engine parameter 0x4B 0x54)
 * @param v2 value of field UPCA_2 (engine parameter 0x4B 0x58)
 * @param v3 value of field UPCA_3 (engine parameter 0x4B 0x5A)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetUPCASetting(int32_t v1, int32_t v2, int32_t v3);
/**
 * @brief Reads the UPC-A options from the engine: Detail record fields UPCA_1 to UPCA_3.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field UPCA_1 (engine parameter 0x4B 0x54)
 * @param[out] v2 receives the value of field UPCA_2 (engine parameter 0x4B 0x58)
 * @param[out] v3 receives the value of field UPCA_3 (engine parameter 0x4B 0x5A)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetUPCASetting(int32_t* v1, int32_t* v2, int32_t* v3);
/**
 * @brief Changes the UPC-E options: Detail record fields UPCE_1 to UPCE_3.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field UPCE_1 (engine parameter 0x4B 0x55)
 * @param v2 value of field UPCE_2 (engine parameter 0x4B 0x59)
 * @param v3 value of field UPCE_3 (engine parameter 0x4B 0x5B)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetUPCESetting(int32_t v1, int32_t v2, int32_t v3);
/**
 * @brief Reads the UPC-E options from the engine: Detail record fields UPCE_1 to UPCE_3.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field UPCE_1 (engine parameter 0x4B 0x55)
 * @param[out] v2 receives the value of field UPCE_2 (engine parameter 0x4B 0x59)
 * @param[out] v3 receives the value of field UPCE_3 (engine parameter 0x4B 0x5B)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetUPCESetting(int32_t* v1, int32_t* v2, int32_t* v3);
/**
 * @brief Changes the EAN-13 options: Detail record fields EAN13_1 to EAN13_4.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field EAN13_1 (engine parameter 0x4B 0x57)
 * @param v2 value of field EAN13_2 (engine parameter 0x4B 0x44)
 * @param v3 value of field EAN13_3 (engine parameter 0x4B 0x61)
 * @param v4 value of field EAN13_4 (engine parameter 0x4B 0x62)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetEAN13Setting(int32_t v1, int32_t v2, int32_t v3, int32_t v4);
/**
 * @brief Reads the EAN-13 options from the engine: Detail record fields EAN13_1 to EAN13_4.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field EAN13_1 (engine parameter 0x4B 0x57)
 * @param[out] v2 receives the value of field EAN13_2 (engine parameter 0x4B 0x44)
 * @param[out] v3 receives the value of field EAN13_3 (engine parameter 0x4B 0x61)
 * @param[out] v4 receives the value of field EAN13_4 (engine parameter 0x4B 0x62)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetEAN13Setting(int32_t* v1, int32_t* v2, int32_t* v3, int32_t* v4);
/**
 * @brief Changes the EAN-8 options: Detail record fields EAN8_1 to EAN8_2.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field EAN8_1 (engine parameter 0x4B 0x56)
 * @param v2 value of field EAN8_2 (engine parameter 0x4B 0x5C)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetEAN8Setting(int32_t v1, int32_t v2);
/**
 * @brief Reads the EAN-8 options from the engine: Detail record fields EAN8_1 to EAN8_2.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field EAN8_1 (engine parameter 0x4B 0x56)
 * @param[out] v2 receives the value of field EAN8_2 (engine parameter 0x4B 0x5C)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetEAN8Setting(int32_t* v1, int32_t* v2);
/**
 * @brief Changes the UPC/EAN common options: Detail record fields UPCEAN_1 to UPCEAN_6.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field UPCEAN_1 (engine parameter 0x4B 0x60)
 * @param v2 value of field UPCEAN_2 (engine parameter 0x4B 0x5D)
 * @param v3 value of field UPCEAN_3 (engine parameter 0x4B 0x45)
 * @param v4 value of field UPCEAN_4 (engine parameter 0x4B 0x46)
 * @param v5 character of field UPCEAN_5 (engine parameter 0x4B 0x47)
 * @param v6 value of field UPCEAN_6 (engine parameter 0x4B 0x4D)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetUPCEANSetting(int32_t v1, int32_t v2, int32_t v3, int32_t v4, char v5,
                                        int32_t v6);
/**
 * @brief Reads the UPC/EAN common options from the engine: Detail record fields UPCEAN_1 to
 * UPCEAN_6.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field UPCEAN_1 (engine parameter 0x4B 0x60)
 * @param[out] v2 receives the value of field UPCEAN_2 (engine parameter 0x4B 0x5D)
 * @param[out] v3 receives the value of field UPCEAN_3 (engine parameter 0x4B 0x45)
 * @param[out] v4 receives the value of field UPCEAN_4 (engine parameter 0x4B 0x46)
 * @param[out] v5 receives the character of field UPCEAN_5 (engine parameter 0x4B 0x47)
 * @param[out] v6 receives the value of field UPCEAN_6 (engine parameter 0x4B 0x4D)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetUPCEANSetting(int32_t* v1, int32_t* v2, int32_t* v3, int32_t* v4,
                                        char* v5, int32_t* v6);
/**
 * @brief Changes the GS1 Composite options: Detail record fields GS1Composite_1 to GS1Composite_3.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field GS1Composite_1 (engine parameter 0x56 0x43)
 * @param v2 value of field GS1Composite_2 (engine parameter 0x56 0x44)
 * @param v3 value of field GS1Composite_3 (engine parameter 0x56 0x5E)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetGS1CompositeSetting(int32_t v1, int32_t v2, int32_t v3);
/**
 * @brief Reads the GS1 Composite options from the engine: Detail record fields GS1Composite_1 to
 * GS1Composite_3.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field GS1Composite_1 (engine parameter 0x56 0x43)
 * @param[out] v2 receives the value of field GS1Composite_2 (engine parameter 0x56 0x44)
 * @param[out] v3 receives the value of field GS1Composite_3 (engine parameter 0x56 0x5E)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetGS1CompositeSetting(int32_t* v1, int32_t* v2, int32_t* v3);
/**
 * @brief Changes the Interleaved 2 of 5 options: Detail record fields Interleaved2of5_1 to
 * Interleaved2of5_3.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Interleaved2of5_1 (engine parameter 0x44 0x4F)
 * @param v2 value of field Interleaved2of5_2 (engine parameter 0x44 0x4C)
 * @param v3 value of field Interleaved2of5_3 (engine parameter 0x44 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetInterleaved2of5Setting(int32_t v1, int32_t v2, int32_t v3);
/**
 * @brief Reads the Interleaved 2 of 5 options from the engine: Detail record fields
 * Interleaved2of5_1 to Interleaved2of5_3.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Interleaved2of5_1 (engine parameter 0x44 0x4F)
 * @param[out] v2 receives the value of field Interleaved2of5_2 (engine parameter 0x44 0x4C)
 * @param[out] v3 receives the value of field Interleaved2of5_3 (engine parameter 0x44 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetInterleaved2of5Setting(int32_t* v1, int32_t* v2, int32_t* v3);
/**
 * @brief Changes the Matrix 2 of 5 option: Detail record field Matrix2of5_1.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Matrix2of5_1 (engine parameter 0x45 0x43)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetMatrix2of5Setting(int32_t v1);
/**
 * @brief Reads the Matrix 2 of 5 option from the engine: Detail record field Matrix2of5_1.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Matrix2of5_1 (engine parameter 0x45 0x43)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetMatrix2of5Setting(int32_t* v1);
/**
 * @brief Changes the MSI option: Detail record field MSI_1.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field MSI_1 (engine parameter 0x46 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetMSISetting(int32_t v1);
/**
 * @brief Reads the MSI option from the engine: Detail record field MSI_1.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field MSI_1 (engine parameter 0x46 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetMSISetting(int32_t* v1);
/**
 * @brief Changes the PDF417 options: Detail record fields PDF417_1 to PDF417_3.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field PDF417_1 (engine parameter 0x4C 0x43)
 * @param v2 value of field PDF417_2 (engine parameter 0x4C 0x41)
 * @param v3 value of field PDF417_3 (engine parameter 0x4C 0x58)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetPDF417Setting(int32_t v1, int32_t v2, int32_t v3);
/**
 * @brief Reads the PDF417 options from the engine: Detail record fields PDF417_1 to PDF417_3.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field PDF417_1 (engine parameter 0x4C 0x43)
 * @param[out] v2 receives the value of field PDF417_2 (engine parameter 0x4C 0x41)
 * @param[out] v3 receives the value of field PDF417_3 (engine parameter 0x4C 0x58)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetPDF417Setting(int32_t* v1, int32_t* v2, int32_t* v3);
/**
 * @brief Changes the MicroPDF417 option: Detail record field MicroPDF_1.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field MicroPDF_1 (engine parameter 0x4C 0x45)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetMicroPDFSetting(int32_t v1);
/**
 * @brief Reads the MicroPDF417 option from the engine: Detail record field MicroPDF_1.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field MicroPDF_1 (engine parameter 0x4C 0x45)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetMicroPDFSetting(int32_t* v1);
/**
 * @brief Changes the Planet option: Detail record field Planet_1.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Planet_1 (engine parameter 0x31 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetPlanetSetting(int32_t v1);
/**
 * @brief Reads the Planet option from the engine: Detail record field Planet_1.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Planet_1 (engine parameter 0x31 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetPlanetSetting(int32_t* v1);
/**
 * @brief Changes the Plessey options: Detail record fields Plessey_1 to Plessey_2.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Plessey_1 (engine parameter 0x47 0x54)
 * @param v2 value of field Plessey_2 (engine parameter 0x47 0x43)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetPlesseySetting(int32_t v1, int32_t v2);
/**
 * @brief Reads the Plessey options from the engine: Detail record fields Plessey_1 to Plessey_2.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Plessey_1 (engine parameter 0x47 0x54)
 * @param[out] v2 receives the value of field Plessey_2 (engine parameter 0x47 0x43)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetPlesseySetting(int32_t* v1, int32_t* v2);
/**
 * @brief Changes the Postnet option: Detail record field Postnet_1.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Postnet_1 (engine parameter 0x30 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetPostnetSetting(int32_t v1);
/**
 * @brief Reads the Postnet option from the engine: Detail record field Postnet_1.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Postnet_1 (engine parameter 0x30 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetPostnetSetting(int32_t* v1);
/**
 * @brief Changes the QR Code options: Detail record fields QRCode_1 to QRCode_2.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field QRCode_1 (engine parameter 0x55 0x45)
 * @param v2 value of field QRCode_2 (engine parameter 0x55 0x46)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetQRCodeSetting(int32_t v1, int32_t v2);
/**
 * @brief Reads the QR Code options from the engine: Detail record fields QRCode_1 to QRCode_2.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field QRCode_1 (engine parameter 0x55 0x45)
 * @param[out] v2 receives the value of field QRCode_2 (engine parameter 0x55 0x46)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetQRCodeSetting(int32_t* v1, int32_t* v2);
/**
 * @brief Changes the Standard 2 of 5 options: Detail record fields Standard2of5_1 to
 * Standard2of5_3.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Standard2of5_1 (engine parameter 0x48 0x58)
 * @param v2 value of field Standard2of5_2 (engine parameter 0x48 0x4C)
 * @param v3 value of field Standard2of5_3 (engine parameter 0x48 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetStandard2of5Setting(int32_t v1, int32_t v2, int32_t v3);
/**
 * @brief Reads the Standard 2 of 5 options from the engine: Detail record fields Standard2of5_1 to
 * Standard2of5_3.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Standard2of5_1 (engine parameter 0x48 0x58)
 * @param[out] v2 receives the value of field Standard2of5_2 (engine parameter 0x48 0x4C)
 * @param[out] v3 receives the value of field Standard2of5_3 (engine parameter 0x48 0x54)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetStandard2of5Setting(int32_t* v1, int32_t* v2, int32_t* v3);
/**
 * @brief Changes the Telepen option: Detail record field Telepen_1.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field Telepen_1 (engine parameter 0x49 0x58)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetTelepenSetting(int32_t v1);
/**
 * @brief Reads the Telepen option from the engine: Detail record field Telepen_1.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field Telepen_1 (engine parameter 0x49 0x58)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetTelepenSetting(int32_t* v1);
/**
 * @brief Changes the TLC39 options: Detail record fields TLC39_1 to TLC39_2.
 *
 * Reads the Detail record from the engine, replaces these fields, sends the
 * whole record and, once the engine has taken it, saves it to
 * "BarcodeRO25Detail.dat" so that the next QVImagerOpen applies it again.
 * Values are not range-checked; each is cut to the width of its engine
 * parameter on the wire.
 *
 * @param v1 value of field TLC39_1 (engine parameter 0x4E 0x44)
 * @param v2 character of field TLC39_2 (engine parameter 0x4E 0x47)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetTLC39Setting(int32_t v1, char v2);
/**
 * @brief Reads the TLC39 options from the engine: Detail record fields TLC39_1 to TLC39_2.
 *
 * Queries the engine's Detail record. The outputs are written only when the
 * call returns 1.
 *
 * @param[out] v1 receives the value of field TLC39_1 (engine parameter 0x4E 0x44)
 * @param[out] v2 receives the character of field TLC39_2 (engine parameter 0x4E 0x47)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetTLC39Setting(int32_t* v1, char* v2);

/** @} */

/**
 * @name General engine options (Other record)
 * @{
 */
/**
 * @brief Sets the decode security level.
 * @param level the level (Other record field SECURITY_LEVEL)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetSecurtyLevel(int32_t level);
/**
 * @brief Reads the decode security level.
 * @param[out] level receives the level
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetSecurtyLevel(int32_t* level);
/**
 * @brief Sets the direct part marking options.
 * @param dpm1 field DPM_1
 * @param dpm2 field DPM_2
 * @param dpm3 field DPM_3
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetDPMSetting(int32_t dpm1, int32_t dpm2, int32_t dpm3);
/**
 * @brief Reads the direct part marking options.
 * @param[out] dpm1 receives field DPM_1
 * @param[out] dpm2 receives field DPM_2
 * @param[out] dpm3 receives field DPM_3
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetDPMSetting(int32_t* dpm1, int32_t* dpm2, int32_t* dpm3);
/**
 * @brief Sets the exposure control area.
 * @param area the area (field AEC_AREA)
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetAECArea(int32_t area);
/**
 * @brief Reads the exposure control area.
 * @param[out] area receives the area
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetAECArea(int32_t* area);
/**
 * @brief Switches the extensive barcode search on or off.
 * @param on 1 on, 0 off
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerSetExtensiveBarcodeSearch(int32_t on);
/**
 * @brief Reads whether the extensive barcode search is on.
 * @param[out] on receives 1 on, 0 off
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetExtensiveBarcodeSearch(int32_t* on);

/** @} */

/**
 * @name Module maintenance
 * @{
 */
/**
 * @brief Sends the engine's test command.
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerTestCommand(void);
/**
 * @brief Brings the engine back to its factory settings, then gives it the
 * library's code-ID assignment again.
 * @return 1 when the engine answered, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerFactoryReset(void);
/**
 * @brief Reads the engine's firmware, boot and hardware version texts.
 *
 * Returns 1 whatever the engine answered: an engine that does not answer
 * leaves the three texts empty.
 * @param[out] firmware buffer of 256 UTF-16 units, receives a zero-terminated text
 * @param[out] boot buffer of 256 UTF-16 units, likewise
 * @param[out] hardware buffer of 256 UTF-16 units, likewise
 * @return 1 with an open imager, else -1 (see @ref qv_calling).
 * @note Needs an open imager; refused (-1) from the barcode callback.
 */
QV_API int32_t QVImagerGetVersion(char16_t* firmware, char16_t* boot, char16_t* hardware);
/** @} */

#ifdef __cplusplus
}
#endif

#endif /* QV_RIZOVIV2I_RO25_H */
