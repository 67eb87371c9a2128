// The maker's texts shown in the window and opened by its two links, in one place. Each fits its
// painted rectangle in the 8-pixel window font.
#pragma once

// The rights notice, left of the credit name on the same line (x 66 to 140).
static const char MakerRights[] = "© 2025-2026";
// The e-mail link's text (x 140 to 230): a team name, not a person's.
static const char MakerCredit[] = "Tarnovell Team";
// Painted (x 66 to 206) and opened by the web link: one text for both.
static const char MakerWebUrl[] = "http://tarnovell.example.org";
// Opened by the e-mail link: "mailto:" + address + the subject query.
static const char MakerMailTarget[] = "mailto:tarnovell@example.org?subject=Tarnovell!_1.7";
