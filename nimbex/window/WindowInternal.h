// Pieces the window module's files share: the widgets of on-screen windows and the
// projective transforms between scene and normalised device coordinates.
#pragma once

struct RenderWindow;
class vtkAbstractTransform;

// Balloon, logo, scalar bar and axes widgets on the record's interactor.
void CreateWindowWidgets(RenderWindow* window);
void ReleaseWindowWidgets(RenderWindow* window);

// Applies a projective transform to (x, y, z, 1) and divides by the homogeneous
// coordinate; 0 when the transform is missing, not projective or the point is at infinity.
int TransformHomogeneous(vtkAbstractTransform* transform, const double in[3], double out[3]);
