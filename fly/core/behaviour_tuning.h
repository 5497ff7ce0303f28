// Every tunable figure of the flies' behaviour, in one place. Distances and speeds count in
// body lengths (BL) so that a fly of any size behaves alike; times in seconds. Where a
// figure models something measured on real house flies (Musca domestica and close
// relatives, on a vertical pane), the comment says what.
#pragma once

namespace gnatter::tuning {

// ---- resting: inactivity bouts are long-tailed, seconds to minutes ----
// Most rests are drawn log-normally around a few seconds; a share are long rests,
// log-uniform between the two bounds, which gives the minutes-long tail.
constexpr double kRestMedian = 3.0;
constexpr double kRestSpread = 0.9;        // sigma of the log-normal part
constexpr double kLongRestShare = 0.2;
constexpr double kLongRestMin = 25.0, kLongRestMax = 240.0;
constexpr double kShortestRest = 0.4;

// ---- what a rested fly does next (the rest goes to a walk) ----
constexpr double kChanceGroom = 0.26;
constexpr double kChancePivot = 0.26;       // a saccade on the spot, no run
constexpr double kChanceHop = 0.1;          // a short flight to another spot
constexpr double kChanceLongFlight = 0.045; // circling, or off the screen and back
// A fly facing down the pane turns head-up more often than not (flies on windows mostly
// rest head-up).
constexpr double kHeadUpBias = 0.65;

// ---- walking: stop-and-go runs with saccadic turns ----
constexpr double kRunMin = 0.25, kRunMax = 1.1;         // seconds per run
constexpr double kWalkSpeedMin = 2.5, kWalkSpeedMax = 5.5;  // BL/s
constexpr double kSideStepShare = 0.08, kBackStepShare = 0.06;
constexpr double kSideStepSpeed = 2.2, kBackStepSpeed = 2.0;  // BL/s
constexpr double kSideStepMin = 0.2, kSideStepMax = 0.35;     // seconds
// Saccades: the body turns 15-45 degrees within a tenth of a second, and not otherwise.
constexpr double kSaccadeMin = 0.28, kSaccadeMax = 0.76;       // radians
constexpr double kSaccadeSecondsMin = 0.04, kSaccadeSecondsMax = 0.09;
constexpr double kSaccadeGapMin = 0.18, kSaccadeGapMax = 0.55;  // straight stretch between two
// A leg frame every this many body lengths walked (four frames make a stride of 2 BL).
constexpr double kLegFrameBodyLengths = 0.5;
constexpr double kTurnFootwork = 0.5;  // BL of stepping per radian turned
// A run gets up to speed over its first steps and slows over its last; between, the
// speed dips by this share each time the legs change over (once a leg frame).
constexpr double kRampInMin = 0.08, kRampInMax = 0.16;    // seconds
constexpr double kRampOutMin = 0.07, kRampOutMax = 0.13;
constexpr double kGaitPulseMin = 0.3, kGaitPulseMax = 0.5;

// ---- personal space: flies keep about a body length apart ----
constexpr double kLandingSpace = 1.5;      // BL between centres: a landing spot keeps this clear
constexpr double kWalkClearance = 0.8;     // BL between centres: a walker stops short of this
constexpr double kTouchBodyLengths = 0.6;  // closer than this, one of them moves off ...
constexpr double kMoveOnMin = 0.2, kMoveOnMax = 1.0;  // ... after this many seconds
constexpr double kMoveOnByHop = 0.35;      // share that hop off rather than walk

// ---- a fly new to the screen looks round before it settles ----
constexpr double kExploreMin = 20.0, kExploreMax = 40.0;       // seconds after its first landing
constexpr double kExploreRestMin = 0.4, kExploreRestMax = 3.5;  // its rests meanwhile
constexpr double kAgendaRestMax = 1.2;  // ... and before it has done its first things
constexpr double kExploreGroomMin = 2.5, kExploreGroomMax = 4.5;
// Share of a settled fly's time spent at rest (the rest: grooming, walks, flights).
constexpr double kSettledRestingShare = 0.8;

// ---- grooming: head first, then front legs, wings, abdomen, hind legs ----
constexpr double kGroomBoutMin = 2.5, kGroomBoutMax = 12.0;
constexpr double kGroomAfterLanding = 0.7;  // share of landings followed by a bout
constexpr double kPosteriorShare = 0.75;    // bouts that go on from the head to the back
// Not every bout starts at the head: some are a lone rub of the front legs, some start
// with the legs, some clean only the back.
constexpr double kFrontRubOnlyShare = 0.12, kLegsFirstShare = 0.1, kBackOnlyShare = 0.1;
// Strokes: several a second (see grooming.cpp), each one's length log-normally spread,
// now and then held a little longer.
constexpr double kStrokeSpread = 0.28;
constexpr double kStrokePauseShare = 0.08;
constexpr double kStrokeShortest = 0.1, kStrokeLongest = 0.7;  // seconds

// ---- flight: straight darts joined by sharp turns ----
constexpr double kCruiseMin = 52.0, kCruiseMax = 74.0;  // BL/s
constexpr double kCruiseMinPixels = 160.0;               // the tiniest flies still dart
constexpr double kJumpSpeed = 20.0;                      // BL/s as the legs push off
constexpr double kJumpSeconds = 0.05;                    // legs stretched, wings opening
// Saccades: 46-140 degrees (here in radians) in 100-155 ms, the sharper the longer; the
// speed dips by a tenth at the gentlest and by about half at the sharpest.
constexpr double kSaccadeMinFlying = 0.8, kSaccadeMaxFlying = 2.44;
constexpr double kSaccadeSecondsMinFlying = 0.1, kSaccadeSecondsMaxFlying = 0.155;
constexpr double kSaccadeLossMin = 0.1, kSaccadeLossMax = 0.52;
// No half second of flight turns through more than this (radians), circling aside.
constexpr double kTurnBudget = 2.62;
// The corner of a planned dogleg, in radians (43-132 degrees).
constexpr double kTurnMin = 0.75, kTurnMax = 2.3;
// A straight stretch, in seconds, after the jump and after every sharp turn: flies fly
// straight legs between saccades.
constexpr double kJumpLegMin = 0.11, kJumpLegMax = 0.16;
constexpr double kLegAfterTurnMin = 0.06, kLegAfterTurnMax = 0.16;
// A fly facing away from where it is going slows to this (BL/s) until it may turn.
constexpr double kWaitingTurnSpeed = 18.0;
constexpr double kLegMinBodyLengths = 5.0;               // a straight leg between turns
constexpr double kHopMin = 8.0, kHopMax = 16.0;           // BL from take-off to landing
constexpr double kApproachBodyLengths = 5.0;             // braking begins this far out
constexpr double kTouchdownSpeed = 4.0;                  // BL/s
constexpr double kLegsDownBodyLengths = 2.0;             // legs reach down this close
// A fly this close to its spot but facing well away from it comes down just ahead instead
// of going round again.
constexpr double kMissedSpotBodyLengths = 6.0;
constexpr double kCruiseAltitudeMin = 0.35, kCruiseAltitudeMax = 0.7;  // BL, as the shadow shows it
constexpr double kClimbSeconds = 0.15;
// Long flights: circling a point (as under a lamp) or a trip off the screen.
constexpr double kCircleSecondsMin = 3.2, kCircleSecondsMax = 4.5;
constexpr double kCircleRadiusMin = 6.0, kCircleRadiusMax = 11.0;  // BL
constexpr double kAwayMin = 8.0, kAwayMax = 45.0;                  // seconds off the screen
constexpr double kExcursionShare = 0.8;  // long flights that leave the screen
constexpr double kCirclingTurnRate = 4.4;  // rad/s at most, a quarter of a saccade's pace

// ---- where flies land: edges and corners ----
constexpr double kEdgeLandingShare = 0.85;
constexpr double kCornerShare = 0.3;   // of the edge landings
constexpr double kEdgeInsetMin = 0.5, kEdgeInsetMax = 0.8;  // BL from the edge to the body centre
// A fly whose perch (a window) moves or goes takes off within this time.
constexpr double kPerchReactionMax = 0.12;

// ---- escape: a looming pointer, not a near one ----
constexpr double kTimeToContact = 0.3;       // seconds: the pointer would reach the fly this soon
constexpr double kLoomingMinSpeed = 3.0;     // BL/s of approach; slower is creeping, not looming
constexpr double kLoomingMissBodyLengths = 2.5;  // a pointer passing wider than this is no threat
constexpr double kSightBodyLengths = 40.0;   // farthest a fly heeds a pointer
constexpr double kEscapeMin = 8.0, kEscapeMax = 20.0;  // BL flown away
constexpr double kEscapeOffScreen = 0.15;    // share of escapes that leave the screen for a while
constexpr double kNearPointerBodyLengths = 4.0;  // pointer this close: read it every frame

// ---- chases: one fly takes off after another for a second or two ----
// Each fly feels like chasing once in this many seconds of its life (the first time
// anywhere in the first interval), and does so at its next decision when another fly
// sits near enough.
constexpr double kChaseEveryMin = 240.0, kChaseEveryMax = 480.0;
constexpr double kChaseMin = 1.0, kChaseMax = 1.2;   // seconds
constexpr double kChaseReach = 40.0;                 // BL: how far a chaser looks for a fly
// The chased fly's zigzag: legs of this many BL, turns of this many radians (45-55 deg):
// three turns fit in half a second only as a U-turn.
constexpr double kChaseLegMin = 10.0, kChaseLegMax = 14.0;
constexpr double kChaseTurnMin = 0.79, kChaseTurnMax = 0.96;
constexpr double kChaseLandApart = 8.0;              // BL between their landing spots at least

// ---- departure: every fly lifts off within this many seconds, each at its own moment ----
constexpr double kDepartureSpread = 0.45;

// ---- swatting ----
constexpr double kSquashSeconds = 3.0;   // the squashed picture stays this long
constexpr double kFadeSeconds = 1.2;     // then fades out in kSquashFadeSteps

}  // namespace gnatter::tuning
