// The window's camera, light and material. The renderer draws with them and
// the model files set their viewers' camera, light and material up from
// them, so a change here reaches all three alike. No GL here.
#pragma once

// The projection, in logo units: glFrustum(-frustumHalfSide,
// frustumHalfSide, -frustumHalfSide, frustumHalfSide, nearPlane, farPlane)
// after the camera has moved cameraDistance back from the logo's centre.
// Pictures not square widen that field of view along their longer side.
constexpr double nearPlane = 10;
constexpr double farPlane = 15.5;
constexpr double frustumHalfSide = 2;
constexpr double cameraDistance = 12.75;

// The spot light's homogeneous position (x, y, lightHeight, lightW), x and y
// from the pointer: in eye space, relative to the logo's centre, it stands
// at (x, y, lightHeight) / lightW and shines back at the centre. Doubles,
// as the model's light is worked out from them; GL takes them as floats.
constexpr double lightHeight = 2;
constexpr double lightW = 0.7;
constexpr double spotCutoffDegrees = 40;
constexpr double spotExponent = 0;
constexpr double linearAttenuation = 0.1;

// The material's white highlight; its ambient and diffuse are the colour.
constexpr float materialSpecular = 0.5f;
constexpr float materialShininess = 120;
