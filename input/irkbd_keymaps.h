/*
 * irkbd_keymaps.h - the keymaps of the remote control and keyboard driver.
 *
 * Each keymap is a list of (scancode, key code) pairs; a scancode not
 * listed, or at or beyond the map's size, is not mapped. The key codes are
 * the box's own set ("Quandor Keycodes"): most agree with the Linux input
 * key codes (2-11 digits, 28 enter, 103/108/105/106 arrows, 113-116 mute,
 * volume and power), those from 128 up are the box's own media and
 * navigation keys, 229 its power-type key.
 *
 * The driver builds its tables from the lists; the virtual box's console
 * reads them to find the scancode of a key by name.
 */
#ifndef IRKBD_KEYMAPS_H
#define IRKBD_KEYMAPS_H


/* keymapVelamorRemoteC_prov: 256 entries (remote control, protocol version 0) */
#define REMOTE_C_PROV_SIZE 256
#define REMOTE_C_PROV(X) \
	X(178, 234) X(181, 233) X(182, 230) X(185, 232) X(186, 231) X(190, 254) \
	X(193, 253) X(194, 252) X(197, 251) X(198, 167) X(201, 128) X(202, 255) \
	X(205, 245) X(206, 164) X(209, 168) X(210, 238) X(214, 237) X(218, 240) \
	X(221, 239) X(222, 249) X(225, 250) X(226, 248) X(229, 247) X(230, 246) \
	X(233, 229) X(234, 11) X(237, 10) X(238, 9) X(241, 8) X(242, 7) X(245, 6) \
	X(246, 5) X(249, 4) X(250, 3) X(253, 2)

/* keymapVelamorRemoteCR7: 128 entries (remote control, versions 1 and 2, normal layout) */
#define REMOTE_CR7_SIZE 128
#define REMOTE_CR7(X) \
	X(2, 2) X(5, 3) X(6, 4) X(9, 5) X(10, 6) X(13, 7) X(14, 8) X(17, 9) X(18, 10) \
	X(21, 11) X(22, 229) X(25, 246) X(26, 247) X(29, 248) X(30, 250) X(33, 249) \
	X(34, 239) X(37, 240) X(38, 115) X(41, 237) X(42, 114) X(45, 238) X(46, 168) \
	X(49, 164) X(50, 245) X(53, 255) X(54, 128) X(57, 167) X(58, 251) X(61, 252) \
	X(62, 253) X(65, 254) X(69, 231) X(70, 232) X(73, 230) X(74, 233) X(77, 234) \
	X(78, 113)

/* keymapVelamorRemoteCR7_reversed: 256 entries (remote control, versions 1 and 2, reversed layout) */
#define REMOTE_CR7_REVERSED_SIZE 256
#define REMOTE_CR7_REVERSED(X) \
	X(1, 2) X(10, 88) X(17, 229) X(18, 106) X(33, 10) X(34, 9) X(49, 159) \
	X(50, 224) X(65, 6) X(66, 5) X(73, 139) X(74, 221) X(82, 104) X(97, 108) \
	X(98, 103) X(113, 67) X(114, 232) X(129, 4) X(130, 3) X(137, 150) X(138, 233) \
	X(146, 237) X(161, 116) X(162, 11) X(177, 223) X(178, 1) X(193, 8) X(194, 7) \
	X(202, 138) X(209, 168) X(210, 109) X(225, 28) X(226, 105) X(241, 87) \
	X(242, 68)

/* keymapFrontpanelR7: 8 entries (front-panel keys) */
#define FRONTPANEL_R7_SIZE 8
#define FRONTPANEL_R7(X) \
	X(1, 246) X(2, 247) X(3, 248) X(4, 249) X(5, 116) X(6, 255) X(7, 250)

/* keymapvelamorKeyboardR7: 256 entries (keyboard, normal layout, by the keyboard's usage code) */
#define KEYBOARD_R7_SIZE 256
#define KEYBOARD_R7(X) \
	X(4, 30) X(5, 48) X(6, 46) X(7, 32) X(8, 18) X(9, 33) X(10, 34) X(11, 35) \
	X(12, 23) X(13, 36) X(14, 37) X(15, 38) X(16, 50) X(17, 49) X(18, 24) X(19, 25) \
	X(20, 16) X(21, 19) X(22, 31) X(23, 20) X(24, 22) X(25, 47) X(26, 17) X(27, 45) \
	X(28, 21) X(29, 44) X(30, 2) X(31, 3) X(32, 4) X(33, 5) X(34, 6) X(35, 7) \
	X(36, 8) X(37, 9) X(38, 10) X(39, 11) X(40, 28) X(41, 229) X(42, 14) X(43, 15) \
	X(44, 57) X(46, 190) X(51, 191) X(52, 192) X(54, 51) X(55, 52) X(56, 12) \
	X(57, 235) X(58, 233) X(59, 231) X(60, 230) X(61, 232) X(62, 234) X(70, 243) \
	X(71, 236) X(72, 244) X(73, 242) X(76, 241) X(83, 150) X(89, 173) X(90, 108) \
	X(91, 174) X(92, 105) X(94, 106) X(95, 158) X(96, 103) X(97, 159) X(101, 113) \
	X(224, 29) X(225, 42) X(226, 56) X(227, 1) X(230, 100)

/* keymapvelamorKeyboardR7_reversed: 256 entries (keyboard, reversed layout) */
#define KEYBOARD_R7_REVERSED_SIZE 256
#define KEYBOARD_R7_REVERSED(X) \
	X(16, 4) X(17, 6) X(18, 5) X(19, 7) X(24, 103) X(26, 226) X(28, 29) X(29, 56) \
	X(30, 42) X(31, 1) X(32, 50) X(33, 24) X(34, 49) X(35, 25) X(41, 116) \
	X(43, 150) X(45, 119) X(51, 86) X(62, 138) X(64, 18) X(65, 34) X(66, 33) \
	X(67, 35) X(68, 63) X(72, 88) X(74, 68) X(75, 13) X(77, 102) X(78, 43) \
	X(80, 28) X(81, 14) X(82, 60) X(83, 15) X(84, 62) X(85, 34) X(86, 35) \
	X(88, 231) X(93, 104) X(96, 22) X(97, 17) X(98, 47) X(99, 45) X(105, 108) \
	X(106, 230) X(107, 128) X(112, 12) X(113, 139) X(114, 234) X(115, 233) \
	X(116, 69) X(124, 99) X(125, 70) X(128, 30) X(129, 46) X(130, 48) X(131, 32) \
	X(137, 87) X(139, 235) X(144, 8) X(145, 10) X(146, 9) X(147, 11) X(154, 113) \
	X(157, 100) X(160, 16) X(161, 31) X(162, 19) X(163, 20) X(176, 40) X(177, 51) \
	X(179, 52) X(192, 23) X(193, 37) X(194, 36) X(195, 38) X(200, 67) X(208, 57) \
	X(209, 13) X(224, 21) X(225, 2) X(226, 44) X(227, 3) X(232, 105) X(233, 106) \
	X(235, 158) X(240, 221) X(241, 138) X(242, 236)

#endif
