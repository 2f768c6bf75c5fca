#include "app/scene.h"

SceneState scene;
